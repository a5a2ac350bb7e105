#include "ops/headerfooter.h"

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "app/prompter.h"

namespace vm::ops {

std::filesystem::path toPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

std::unique_ptr<word::Document> openFor(const QString& path, word::FeatureSet features) {
  word::OpenOptions options;
  options.features = features;
  return word::open(toPath(path), options);
}

void addHeaderFooter(const QString& path, word::StoryKind kind, const QString& content, bool removeUnderline) {
  auto doc = openFor(path, {word::Feature::HeaderFooter});
  word::Story& story = doc->ensureStory(kind);
  if (rules::isPictureReference(content))
    story.insertPictureAtStart(toPath(rules::picturePath(content)));
  else
    story.insertTextAtStart(content.toStdString());
  if (removeUnderline) story.removeFirstParagraphBorder();
  doc->save();
  doc->close();
}

int clearHeadersFooters(word::Document& doc, word::StoryKind kind) {
  int cleared = 0;
  for (word::Story* s : doc.stories(kind)) {
    s->clear();
    ++cleared;
  }
  return cleared;
}

int clearHeadersFooters(const QString& path, word::StoryKind kind) {
  auto doc = openFor(path, {word::Feature::HeaderFooter});
  const int n = clearHeadersFooters(*doc, kind);
  doc->save();
  doc->close();
  return n;
}

int replaceInHeaderFooter(const QString& path, word::StoryKind kind, const QList<rules::Rule>& rules) {
  const word::FindOptions options;  // Word's settings of the rule run: the defaults
  auto doc = openFor(path, {word::Feature::HeaderFooter});
  word::Story* story = doc->currentPageStory(kind);
  int total = 0;
  for (const rules::Rule& rule : rules) {
    if (!story || !rule.ticked) continue;
    const std::string find = rule.find.toStdString();
    if (rules::isPictureReference(rule.replacement))
      total += story->replaceWithPicture(find, toPath(rules::picturePath(rule.replacement)), options);
    else
      total += story->replaceAll(find, rule.replacement.toStdString(), options);
  }
  doc->save();
  doc->close();
  return total;
}

namespace {

struct Side {
  word::StoryKind kind;
  QString name;        // 页眉 / 页脚
  QString cli;         // header / footer
  QString addId, delId, repId;
  QString addItem, delItem, repItem;
  QString delQuestion;
};

const Side kHeader{word::StoryKind::Header, QStringLiteral("页眉"), QStringLiteral("header"),
                   QStringLiteral("docYmAdd"), QStringLiteral("docYmDel"), QStringLiteral("docYmRep"),
                   QStringLiteral("m_ymAdd"), QStringLiteral("m_ymDel"), QStringLiteral("m_ymRepStart"),
                   QStringLiteral("你确认开始批量删除文档页眉以及水印了吗？")};
const Side kFooter{word::StoryKind::Footer, QStringLiteral("页脚"), QStringLiteral("footer"),
                   QStringLiteral("docYjAdd"), QStringLiteral("docYjDel"), QStringLiteral("docYjRep"),
                   QStringLiteral("m_yjAdd"), QStringLiteral("m_yjDel"), QStringLiteral("m_yjRepStart"),
                   QStringLiteral("你确认开始批量删除页脚了吗？")};

const QString kSettingsItem = QStringLiteral("m_ymyjAddRuler");
const QString kRulesItem = QStringLiteral("m_ymyjRepRuler");

Question confirm(const QString& question) {
  return Question{QStringLiteral("信息提示"),
                  question + QStringLiteral("\n\n你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
}

QString content(OperationEnv& env, const Side& side) {
  const HeaderFooterSettings& s = env.app.store<HeaderFooterSettings>();
  return rules::trimBlanks(side.kind == word::StoryKind::Header ? s.header : s.footer);
}

OperationDecl addDecl(const Side& side) {
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = side.addId;
  d.title = QStringLiteral("批量增加") + side.name;
  d.menuItems = {side.addItem};
  d.settingsItems = {kSettingsItem};
  d.features = {word::Feature::HeaderFooter};
  d.checks = {
      requireTickedDocuments(),
      [side](OperationEnv& env) -> std::optional<Refusal> {
        if (content(env, side).isEmpty())
          return Refusal{msg::titleRefused(), QStringLiteral("请先设置%1内容！").arg(side.name), kSettingsItem};
        return std::nullopt;
      },
  };
  d.question = [side](OperationEnv&) { return confirm(QStringLiteral("你确认开始批量增加%1了吗？").arg(side.name)); };
  d.prepare = [side](OperationEnv& env) {
    const QString text = content(env, side);
    const bool underline = env.app.store<HeaderFooterSettings>().removeUnderline;
    RunSteps s;
    s.perDocument = [side, text, underline](const QString& path) {
      addHeaderFooter(path, side.kind, text, underline);
      return QStringLiteral("已增加%1").arg(side.name);
    };
    return s;
  };
  d.cli.name = side.cli + QStringLiteral(" add");
  d.cli.synopsis = QStringLiteral("(--text TEXT | --picture FILE) [--remove-underline] PATH...");
  d.cli.summary = QStringLiteral("adds the text or picture at the start of each document's current page %1 (批量增加%2)")
                      .arg(side.cli, side.name);
  d.cli.options = {
      {QStringLiteral("text"), true, QStringLiteral("TEXT"), QStringLiteral("the %1 text").arg(side.cli)},
      {QStringLiteral("picture"), true, QStringLiteral("FILE"), QStringLiteral("a picture instead of text")},
      {QStringLiteral("remove-underline"), false, {}, QStringLiteral("no line under the inserted content (去除下划线)")},
  };
  d.cli.apply = [side](OperationEnv& env, const CliValues& v) -> std::optional<Refusal> {
    const bool text = v.has(QStringLiteral("text")), picture = v.has(QStringLiteral("picture"));
    if (text == picture) return Refusal{{}, QStringLiteral("give --text or --picture (one of them)"), {}};
    HeaderFooterSettings& s = env.app.store<HeaderFooterSettings>();
    const QString value = text ? v.value(QStringLiteral("text")) : rules::pictureReference(v.value(QStringLiteral("picture")));
    (side.kind == word::StoryKind::Header ? s.header : s.footer) = value;
    s.removeUnderline = v.has(QStringLiteral("remove-underline"));
    return std::nullopt;
  };
  return d;
}

OperationDecl clearDecl(const Side& side) {
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = side.delId;
  d.title = QStringLiteral("批量删除") + side.name;
  d.menuItems = {side.delItem};
  d.features = {word::Feature::HeaderFooter};
  d.checks = {requireTickedDocuments()};
  d.question = [q = side.delQuestion](OperationEnv&) { return confirm(q); };
  d.prepare = [side](OperationEnv&) {
    RunSteps s;
    s.perDocument = [side](const QString& path) {
      return QStringLiteral("清空%1 %2 个").arg(side.name).arg(clearHeadersFooters(path, side.kind));
    };
    return s;
  };
  d.cli.name = side.cli + QStringLiteral(" delete");
  d.cli.synopsis = QStringLiteral("PATH...");
  d.cli.summary = side.kind == word::StoryKind::Header
                      ? QStringLiteral("empties every header of every section, watermarks included (批量删除页眉以及水印)")
                      : QStringLiteral("empties every footer of every section (批量删除页脚)");
  return d;
}

OperationDecl replaceDecl(const Side& side) {
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = side.repId;
  d.title = side.name + QStringLiteral("批量替换");
  d.menuItems = {side.repItem};
  d.settingsItems = {kRulesItem};
  d.features = {word::Feature::HeaderFooter};
  d.resume = Resume::FromNextSameRunSize;
  d.checks = {
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.store<HeaderFooterRules>().list.count() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请先配置页眉页脚替换规则！"), kRulesItem};
        return std::nullopt;
      },
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.store<HeaderFooterRules>().list.tickedCount() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请勾选页眉页脚替换规则！"), kRulesItem};
        return std::nullopt;
      },
      requireTickedDocuments(),
  };
  d.question = [side](OperationEnv&) {
    return confirm(QStringLiteral("你确认开始按照规则替换文档%1了吗？").arg(side.name));
  };
  d.prepare = [side](OperationEnv& env) {
    const rules::ReplaceRules* list = &env.app.store<HeaderFooterRules>().list;
    RunSteps s;
    // The rules are read anew for every document.
    s.perDocument = [side, list](const QString& path) {
      return QStringLiteral("替换 %1 处").arg(replaceInHeaderFooter(path, side.kind, list->rules()));
    };
    return s;
  };
  d.cli.name = side.cli + QStringLiteral(" replace");
  d.cli.synopsis = QStringLiteral("--rules FILE PATH...");
  d.cli.summary = QStringLiteral("replaces by the rules in each document's current page %1 (%2批量替换)").arg(side.cli, side.name);
  d.cli.options = {{QStringLiteral("rules"), true, QStringLiteral("FILE"),
                    QStringLiteral("UTF-8 rule file as for replace (FIND<TAB>REPLACEMENT[<TAB>0])"), true}};
  d.cli.apply = [](OperationEnv& env, const CliValues& v) -> std::optional<Refusal> {
    rules::ReplaceRules& list = env.app.store<HeaderFooterRules>().list;
    list.clear();
    QStringList skipped;
    if (auto error = rules::importRuleFile(v.value(QStringLiteral("rules")), list, &skipped))
      return Refusal{error->refusal.title, error->text(), {}};
    for (const QString& line : skipped) env.prompter.inform(QStringLiteral("规则文件"), line);
    return std::nullopt;
  };
  return d;
}

}  // namespace

}  // namespace vm::ops

VM_OPERATION(headerAdd) { return vm::ops::addDecl(vm::ops::kHeader); }
VM_OPERATION(footerAdd) { return vm::ops::addDecl(vm::ops::kFooter); }
VM_OPERATION(headerDelete) { return vm::ops::clearDecl(vm::ops::kHeader); }
VM_OPERATION(footerDelete) { return vm::ops::clearDecl(vm::ops::kFooter); }
VM_OPERATION(headerReplace) { return vm::ops::replaceDecl(vm::ops::kHeader); }
VM_OPERATION(footerReplace) { return vm::ops::replaceDecl(vm::ops::kFooter); }
