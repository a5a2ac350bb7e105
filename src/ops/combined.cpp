// Combined runs (替换 → 开始替换并打印, 生成 → 开始生成并打印): an editing pass, then a print
// pass over the documents it leaves in the list, in one run of the frame.

#include "app/appcontext.h"
#include "app/documentlist.h"
#include "app/messages.h"
#include "app/operation.h"
#include "ops/generate.h"
#include "ops/print.h"
#include "ops/replace.h"
#include "rules/replacerules.h"

VM_OPERATION(replaceAndPrint) {
  using namespace vm;
  OperationDecl d;
  d.id = QStringLiteral("docRP");
  d.title = QStringLiteral("文档替换及打印");
  d.menuItems = {QStringLiteral("m_rep_print")};
  d.features = {word::Feature::MainText, word::Feature::Render};
  d.resume = Resume::FromNextSameRunSize;
  const QString ruleWindow = QStringLiteral("m_replaceSetup");
  d.checks = ops::ruleChecks(ruleWindow);
  d.checks.push_back(ops::requirePrinter());
  d.checks.push_back(requireTickedDocuments());
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("文档替换及打印"),
                    QStringLiteral("你确认开始按照规则替换并打印文档了吗？\n\n"
                                   "你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
  };
  d.prepare = [](OperationEnv& env) {
    const OperationDecl* replace = operations().find(ops::kReplaceOperationId);
    RunSteps steps = replace->prepare(env);
    // the print settings of the start, whatever the window holds when the first pass ends
    steps.next = [pass = ops::printPass(env.app)] { return pass; };
    return steps;
  };
  return d;
}

VM_OPERATION(generateAndPrint) {
  using namespace vm;
  OperationDecl d;
  d.id = QStringLiteral("docCP");
  d.title = QStringLiteral("文档生成及打印");
  d.menuItems = {QStringLiteral("m_create_print")};
  d.features = {word::Feature::MainText, word::Feature::Render};
  d.independent = false;
  d.resume = Resume::Never;
  d.checks = {
      [](OperationEnv& env) -> std::optional<Refusal> {
        if (env.app.documents().entryCount() < 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请先添加文档，并勾选你要操作的模板文档！"), {}};
        if (env.app.documents().tickedCount() != 1)
          return Refusal{msg::titleRefused(), QStringLiteral("请选中你要操作的模板文档，模板文档只能选中一个！"), {}};
        return std::nullopt;
      },
      ops::requirePrinter(),
  };
  // then the generation's own: naming, data source and query, rules, the template on disk
  for (Check& c : ops::generateChecks()) d.checks.push_back(std::move(c));
  d.question = [](OperationEnv&) {
    return Question{QStringLiteral("信息提示及打印"),
                    QStringLiteral("你确认开始生成并打印文档了吗？\n\n"
                                   "你可以点确认按钮开始操作,也可以点取消按钮取消操作！")};
  };
  d.prepare = [](OperationEnv& env) {
    const OperationDecl* generate = operations().find(ops::kGenerateOperationId);
    RunSteps steps = generate->prepare(env);
    // The print pass takes every document of the output folder with the chosen suffixes,
    // those made now and any that were there before.
    AppContext& app = env.app;
    steps.next = [&app, pass = ops::printPass(app), folder = ops::generateSettings(app).fileSavePath]() {
      DocumentList& list = app.documents();
      list.clear();
      list.addFiles(folder, list.chosenSuffixes(), true);
      return list.tickedCount() > 0 ? pass : nullptr;
    };
    return steps;
  };
  return d;
}
