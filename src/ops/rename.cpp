// Rename by pattern: the operation "docRName" (menu item "开始批量更名", command `rename`). Every
// ticked document is copied into the output folder under its new name (rename/renamer.h); the
// source stays as it was.

#include <QDir>
#include <QFileInfo>

#include <memory>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "rename/namesettings.h"
#include "rename/renamer.h"

namespace {

using namespace vm;

const QString kSettingsItem = QStringLiteral("m_rName");
const QString kRulesItem = QStringLiteral("m_nameRep");

Check settingsCheck(std::function<std::optional<QString>(const rename::RenameSettings&)> test,
                    const QString& title = msg::titleError()) {
  return [test = std::move(test), title](OperationEnv& env) -> std::optional<Refusal> {
    if (auto text = test(env.app.store<rename::RenameSettings>())) return Refusal{title, *text, kSettingsItem};
    return std::nullopt;
  };
}

std::optional<QString> text(const std::optional<rename::FieldRefusal>& r) {
  return r ? std::optional<QString>(r->text) : std::nullopt;
}

DocumentRoutine routine(OperationEnv& env, bool write) {
  auto renamer = std::make_shared<rename::Renamer>(env.app.store<rename::RenameSettings>(),
                                                   env.app.store<rename::NameRules>().rules(), write);
  return [renamer, write](const QString& path) {
    const QString target = renamer->rename(path);
    return (write ? QStringLiteral("另存为 %1") : QStringLiteral("将另存为 %1")).arg(target);
  };
}

}  // namespace

VM_OPERATION(rename) {
  OperationDecl d;
  d.id = QStringLiteral("docRName");
  d.title = QStringLiteral("文档更名");
  d.menuItems = {QStringLiteral("m_StartRName")};
  d.settingsItems = {kSettingsItem, kRulesItem};
  d.features = {word::Feature::MainText};
  d.initialCount = 0;
  // The running number follows the list order.
  d.independent = false;
  d.checks = {
      requireTickedDocuments(),
      settingsCheck([](const rename::RenameSettings& s) -> std::optional<QString> {
        if (s.folder.trimmed().isEmpty()) return QStringLiteral("请选择文档保存路径！");
        return std::nullopt;
      }),
      settingsCheck(
          [](const rename::RenameSettings& s) -> std::optional<QString> {
            if (!QFileInfo(s.folder.trimmed()).isDir()) return QStringLiteral("文档保存路径不存在！");
            return std::nullopt;
          },
          msg::titleRefused()),
      settingsCheck([](const rename::RenameSettings& s) -> std::optional<QString> {
        const QString p = s.pattern.trimmed();
        if (p.isEmpty()) return QStringLiteral("请输入文档名！");
        if (rename::hasForbiddenCharacter(p)) return QStringLiteral("文档名包含非法字符，请重新输入！");
        return std::nullopt;
      }),
      settingsCheck([](const rename::RenameSettings& s) {
        return s.wantsTitle() ? text(rename::checkTitleSettings(s)) : std::nullopt;
      }),
      [](OperationEnv& env) -> std::optional<Refusal> {
        const rename::NameRules& rules = env.app.store<rename::NameRules>();
        if (rules.count() < 1) return Refusal{msg::titleRefused(), QStringLiteral("请先配置文档名替换规则！"), kRulesItem};
        if (rules.tickedCount() < 1) return Refusal{msg::titleRefused(), QStringLiteral("请勾选你要替换的规则！"), kRulesItem};
        return std::nullopt;
      },
  };
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("文档替换"), QStringLiteral("你确认开始批量更改文档名了吗？\n"
                                                               "你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
  };
  d.prepare = [](OperationEnv& env) {
    RunSteps s;
    s.perDocument = routine(env, true);
    return s;
  };
  d.preview = [](OperationEnv& env) {
    RunSteps s;
    s.title = QStringLiteral("文档更名（预览，未写入）");
    s.perDocument = routine(env, false);
    return s;
  };
  d.cli.name = QStringLiteral("rename");
  d.cli.synopsis = QStringLiteral("--pattern P --out DIR --rules FILE [--title-paragraph H] [--title-range S E] PATH...");
  d.cli.summary = QStringLiteral("copy the documents into DIR under names built from P (开始批量更名)");
  d.cli.options = {
      {QStringLiteral("pattern"), true, QStringLiteral("P"),
       QStringLiteral("new name with tags [$YY$] [$MM$] [$DD$] [$ID$] [$Titile$] [$UnCha$], e.g. "
                      "\"[$YY$]-[$ID$]-[$UnCha$].docx\"; without an extension the document's own is kept"),
       true},
      {QStringLiteral("out"), true, QStringLiteral("DIR"), QStringLiteral("existing folder the copies are written into"),
       true},
      {QStringLiteral("rules"), true, QStringLiteral("FILE"),
       QStringLiteral("filename rules, FIND<TAB>REPLACEMENT[<TAB>0] a line; at least one ticked"), true},
      {QStringLiteral("title-paragraph"), true, QStringLiteral("H"),
       QStringLiteral("take [$Titile$] from paragraph H (default: the first)")},
      {QStringLiteral("title-range"), true, QStringLiteral("S E"),
       QStringLiteral("take [$Titile$] from offset S to offset E of that paragraph (default: all of it)"), false, 2},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    rename::RenameSettings& s = env.app.store<rename::RenameSettings>();
    s = rename::RenameSettings{};
    s.pattern = values.value(QStringLiteral("pattern"));
    const QString out = values.value(QStringLiteral("out"));
    s.folder = out.trimmed().isEmpty() ? out : QDir::cleanPath(QDir::current().absoluteFilePath(out.trimmed()));
    if (values.has(QStringLiteral("title-paragraph"))) {
      s.chkFile = {false, true};
      s.h = values.value(QStringLiteral("title-paragraph"));
    }
    if (values.has(QStringLiteral("title-range"))) {
      const QStringList range = values.options.value(QStringLiteral("title-range"));
      s.chkZfkswz = {false, true};
      s.s = range.value(range.size() - 2);
      s.e = range.value(range.size() - 1);
    }
    rename::NameRules& rules = env.app.store<rename::NameRules>();
    rules.clear();
    if (auto error = rules::importRuleFile(values.value(QStringLiteral("rules")), rules))
      return Refusal{error->refusal.title, error->text(), {}};
    return std::nullopt;
  };
  return d;
}
