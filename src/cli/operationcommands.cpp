// One command for every declared operation with a command-line name (app/operation.h): its
// options fill the operation's settings, the PATH arguments fill the document list as the File
// menu does (every entry ticked), and the operation starts through the same start function as
// its menu item; --yes answers its question.

#include "app/appcontext.h"
#include "app/operation.h"
#include "app/prompter.h"
#include "cli/commands.h"
#include "cli/registry.h"
#include "cli/runner.h"
#include "word/document.h"

namespace vm::cli {

namespace {

int runDeclared(const OperationDecl& decl, CliContext& ctx) {
  for (const CliOptionSpec& o : decl.cli.options) {
    if (o.required && !ctx.args.has(o.name)) {
      ctx.err << QStringLiteral("%1: --%2 %3 is required").arg(decl.cli.name, o.name, o.valueName) << Qt::endl;
      return kExitUsage;
    }
  }
  useOffice(ctx);
  OperationEnv env{ctx.app, ctx.prompter, {}};
  if (decl.cli.apply) {
    if (auto refusal = decl.cli.apply(env, CliValues{ctx.args.options})) {
      if (refusal->title.isEmpty()) {
        ctx.err << decl.cli.name << ": " << refusal->text << Qt::endl;
        return kExitUsage;
      }
      ctx.prompter.inform(refusal->title, refusal->text);
      return kExitRefused;
    }
  }
  if (int code = fillList(ctx)) return code;
  tickAll(ctx);
  const StartMode mode = decl.preview && ctx.args.has(QStringLiteral("preview")) ? StartMode::Preview : StartMode::Run;
  if (startOperation(decl, env, word::installedFeatures(), {}, mode) != StartOutcome::Started) return kExitRefused;
  return waitAndReport(ctx);
}

}  // namespace

void registerOperationCommands(CliRegistry& registry) {
  for (const auto& decl : operations().all()) {
    if (decl->cli.name.isEmpty()) continue;
    CliCommand c;
    c.name = decl->cli.name;
    c.synopsis = decl->cli.synopsis;
    c.summary = decl->cli.summary;
    for (const CliOptionSpec& o : decl->cli.options) c.options.push_back({o.name, o.takesValue, o.valueName, o.help, o.values});
    if (decl->preview)
      c.options.push_back({QStringLiteral("preview"), false, {}, QStringLiteral("print what each document would become; write nothing")});
    c.minPaths = decl->cli.minPaths;
    c.run = [d = decl](CliContext& ctx) { return runDeclared(*d, ctx); };
    registry.add(std::move(c));
  }
}

}  // namespace vm::cli
