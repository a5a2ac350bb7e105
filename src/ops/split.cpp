// Splitting: the operation "docFgwd" (menu item "批量拆分文档", command `split`).

#include <QDir>

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/split.h"

namespace {

using namespace vm;

const QString kSettingsItem = QStringLiteral("m_fgSetup");

std::optional<QString> absoluteOption(const CliValues& values, const QString& name) {
  if (!values.has(name)) return std::nullopt;
  const QString v = values.value(name).trimmed();
  return v.isEmpty() ? v : QDir::cleanPath(QDir::current().absoluteFilePath(v));
}

}  // namespace

VM_OPERATION(split) {
  OperationDecl d;
  d.id = QStringLiteral("docFgwd");
  d.title = QStringLiteral("文档拆分");
  d.menuItems = {QStringLiteral("m_fg_start")};
  d.settingsItems = {kSettingsItem};
  d.features = {word::Feature::Layout, word::Feature::InsertFile};
  d.initialCount = 0;
  // The new documents of one source are numbered one after the other.
  d.independent = false;
  // A pause waits for the document in hand; continuing goes on with the next one.
  d.resume = Resume::FromNext;
  d.checks = {
      requireTickedDocuments(),
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (auto text = ops::splitSettingsProblem(env.app.store<ops::SplitSettings>(), ops::SplitCheck::Start))
          return Refusal{msg::titleRefused(), *text, kSettingsItem};
        return std::nullopt;
      },
  };
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("文档操作"), QStringLiteral("你确认开始批量拆分文档了吗？\n"
                                                               "你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
  };
  d.prepare = [](OperationEnv& env) {
    RunSteps s;
    s.perDocument = [plan = ops::splitPlan(env.app.store<ops::SplitSettings>())](const QString& path) {
      return ops::splitDocument(path, plan);
    };
    return s;
  };
  d.cli.name = QStringLiteral("split");
  d.cli.synopsis = QStringLiteral("--out DIR --pages P [--max-pages B] [--before FILE] [--after FILE] PATH...");
  d.cli.summary = QStringLiteral("split each document into new documents of P pages in DIR (批量拆分文档)");
  d.cli.options = {
      {QStringLiteral("out"), true, QStringLiteral("DIR"),
       QStringLiteral("existing folder; NAME.EXT gives NAME_1.EXT, NAME_2.EXT, ... (a file of that name is replaced)"),
       true},
      {QStringLiteral("pages"), true, QStringLiteral("P"), QStringLiteral("pages per new document, at least 1"), true},
      {QStringLiteral("max-pages"), true, QStringLiteral("B"),
       QStringLiteral("fill each new document with page breaks up to B pages (default 0: no filling)")},
      {QStringLiteral("before"), true, QStringLiteral("FILE"), QStringLiteral("insert FILE before every copied page")},
      {QStringLiteral("after"), true, QStringLiteral("FILE"), QStringLiteral("insert FILE at the end of every new document")},
  };
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::SplitSettings& s = env.app.store<ops::SplitSettings>();
    s = ops::SplitSettings{};
    s.folder = absoluteOption(values, QStringLiteral("out")).value_or(QString());
    s.perPage = values.value(QStringLiteral("pages"));
    s.maxPages = values.value(QStringLiteral("max-pages"), QStringLiteral("0"));
    if (auto before = absoluteOption(values, QStringLiteral("before"))) {
      s.before = true;
      s.beforePath = *before;
    }
    if (auto after = absoluteOption(values, QStringLiteral("after"))) {
      s.after = true;
      s.afterPath = *after;
    }
    return std::nullopt;
  };
  return d;
}
