#include "ops/summary.h"

#include "app/appcontext.h"
#include "app/messages.h"
#include "app/operation.h"
#include "word/metadata.h"

namespace vm::ops {

QString writeSummary(const QString& path, const SummarySettings& s) {
  word::OpenOptions options;
  options.features = {word::Feature::Properties};
  auto doc = word::open(std::filesystem::path(path.toStdU16String()), options);
  word::metadata(*doc).setProperties(
      {s.title.toStdString(), s.subject.toStdString(), s.author.toStdString(), s.company.toStdString()});
  doc->save();
  doc->close();
  return {};
}

}  // namespace vm::ops

VM_OPERATION(summary) {
  using namespace vm;
  OperationDecl d;
  d.groupSaves = true;  // open, change, save once, close
  d.id = ops::kSummaryOperationId;
  d.title = QStringLiteral("修改摘要");
  d.menuItems = {QStringLiteral("m_start_modify_info")};
  d.settingsItems = {QStringLiteral("m_modify_info")};
  d.features = {word::Feature::Properties};
  d.initialCount = 1;
  d.checks = {[](OperationEnv& env) -> std::optional<Refusal> {
    const DocumentList& list = env.app.documents();
    if (list.entryCount() < 1 || list.tickedCount() < 1)
      return Refusal{msg::titleRefused(), QStringLiteral("请先添加文档，并勾选你要修改的文档！"), {}};
    return std::nullopt;
  }};
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("修改摘要"),
                    QStringLiteral("你确认开始修改文档摘要了吗？\n\n"
                                   "你可以点确认按钮开始修改所有文档,也可以点取消按钮取消修改文档！")};
  };
  d.prepare = [](OperationEnv& env) {
    RunSteps steps;
    steps.perDocument = [s = env.app.store<ops::SummarySettings>()](const QString& path) {
      return ops::writeSummary(path, s);
    };
    return steps;
  };
  d.cli.name = QStringLiteral("properties");
  d.cli.synopsis = QStringLiteral("[--title T] [--subject S] [--author A] [--company C] PATH...");
  d.cli.summary = QStringLiteral("set title, subject, author and company; a missing one is cleared (批量修改摘要)");
  for (const char* name : {"title", "subject", "author", "company"})
    d.cli.options.push_back({QString::fromLatin1(name), true, QStringLiteral("TEXT"), QStringLiteral("at most 50 characters")});
  d.cli.apply = [](OperationEnv& env, const CliValues& values) -> std::optional<Refusal> {
    ops::SummarySettings& s = env.app.store<ops::SummarySettings>();
    s = {values.value(QStringLiteral("title")), values.value(QStringLiteral("subject")),
         values.value(QStringLiteral("author")), values.value(QStringLiteral("company"))};
    for (const QString& v : {s.title, s.subject, s.author, s.company})
      if (v.size() > 50) return Refusal{{}, QStringLiteral("a property has at most 50 characters"), {}};
    return std::nullopt;
  };
  return d;
}
