// vellumark-cli list PATH...: fills the document list as the File menu does and prints one
// path per line, in list order.
#include "app/appcontext.h"
#include "cli/commands.h"
#include "cli/runner.h"

namespace vm::cli {

namespace {

int runList(CliContext& ctx) {
  if (int code = fillList(ctx)) return code;
  const DocumentList& list = ctx.app.documents();
  for (int i = 0; i < list.entryCount(); ++i) ctx.out << list.at(i).path << '\n';
  ctx.out.flush();
  return kExitOk;
}

}  // namespace

void registerListCommand(CliRegistry& registry) {
  registry.add({QStringLiteral("list"), QStringLiteral("PATH..."),
                QStringLiteral("print the documents the File menu would add, one path per line"),
                {},
                1,
                runList});
}

}  // namespace vm::cli
