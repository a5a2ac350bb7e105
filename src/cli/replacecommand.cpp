// vellumark-cli replace --rules FILE [--dry-run] PATH...
//
// The rule file (see rules/replacerules.h) is read through the add dialog's validation; a
// refused rule is printed "TITLE: TEXT" and the command exits 1. The PATH arguments fill the
// document list as the File menu does, every entry ticked; then the same start command as the
// menu item "开始替换" runs (its refusals exit 1; --yes answers its question) and the run's
// summary lists each document with its number of replacements ("PATH：替换 N 处").
// --dry-run opens, replaces and closes every document without saving it: the counts are what
// a real run would do, and no file changes.

#include "app/appcontext.h"
#include "app/prompter.h"
#include "cli/commands.h"
#include "cli/registry.h"
#include "cli/runner.h"
#include "ops/replace.h"
#include "rules/replacerules.h"
#include "word/document.h"
#ifdef VM_HAVE_OFFICE
#include "word/office/office.h"
#endif

namespace vm::cli {

namespace {

int runReplace(CliContext& ctx) {
  const QString ruleFile = ctx.args.value(QStringLiteral("rules"));
  if (ruleFile.isEmpty()) {
    ctx.err << QStringLiteral("replace: --rules FILE is required") << Qt::endl;
    return kExitUsage;
  }
  rules::ReplaceRules rules;
  if (auto error = rules::importRuleFile(ruleFile, rules)) {
    ctx.prompter.inform(error->refusal.title, error->text());
    return kExitRefused;
  }
  if (int code = fillList(ctx)) return code;
  tickAll(ctx);

  RunFrame& frame = ctx.app.runFrame();
#ifdef VM_HAVE_OFFICE
  // .doc and the other formats go through the office back end.
  if (!vm::word::officeBackend())
    frame.setStaleOfficeCloser(vm::word::office::installForProgram(ctx.app.dataFolder().root().toStdString()));
#endif
  ops::registerReplaceContinuation(frame);
  const bool save = !ctx.args.has(QStringLiteral("dry-run"));
  if (ops::startDocRep({rules, ctx.app.documents(), frame, ctx.prompter, {}, save}) != ops::StartOutcome::Started)
    return kExitRefused;
  return waitAndReport(ctx);
}

}  // namespace

void registerReplaceCommand(CliRegistry& registry) {
  CliCommand c;
  c.name = QStringLiteral("replace");
  c.synopsis = QStringLiteral("--rules FILE [--dry-run] PATH...");
  c.summary = QStringLiteral("replace by rules in the documents (开始替换)");
  c.options = {
      {QStringLiteral("rules"), true, QStringLiteral("FILE"),
       QStringLiteral("UTF-8 rule file: FIND<TAB>REPLACEMENT[<TAB>0 to untick] a line, # comments, [img]path[/img] for pictures")},
      {QStringLiteral("dry-run"), false, {}, QStringLiteral("count the replacements without saving any document")},
  };
  c.minPaths = 1;
  c.run = runReplace;
  registry.add(std::move(c));
}

}  // namespace vm::cli
