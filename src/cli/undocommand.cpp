// vellumark-cli runs: the recent runs that can be taken back; vellumark-cli undo [RUN]: takes
// one back (the newest not yet taken back by default), each file reported.
#include <QDir>

#include "app/appcontext.h"
#include "app/prompter.h"
#include "app/runjournal.h"
#include "cli/commands.h"
#include "cli/runner.h"

namespace vm::cli {

namespace {

QString runsFolder(CliContext& ctx) { return ctx.app.dataFolder().root() + QStringLiteral("/runs"); }

int runRuns(CliContext& ctx) {
  const QList<RunRecord> runs = listRuns(runsFolder(ctx));
  if (runs.isEmpty()) ctx.err << QStringLiteral("没有可以撤销的操作") << Qt::endl;
  for (const RunRecord& r : runs)
    ctx.out << r.id << '\t' << r.started.toString(QStringLiteral("yyyy/M/d H:mm:ss")) << '\t' << r.title << '\t'
            << QStringLiteral("%1 个文件").arg(r.changes) << (r.undone ? QStringLiteral("\t已撤销") : QString()) << '\n';
  ctx.out.flush();
  return kExitOk;
}

int runUndo(CliContext& ctx) {
  if (ctx.args.paths.size() > 1) {
    ctx.err << "vellumark-cli: undo takes one RUN" << Qt::endl;
    return kExitUsage;
  }
  QList<UndoResult> results;
  QString error;
  if (!undoRun(runsFolder(ctx), ctx.args.paths.value(0), &results, &error)) {
    ctx.prompter.inform(QStringLiteral("撤销"), error);
    return kExitRefused;
  }
  int notRestored = 0;
  for (const UndoResult& r : results) {
    ctx.out << r.path << QStringLiteral("：") << r.message << '\n';
    notRestored += r.kind == UndoResult::Restored || r.kind == UndoResult::Removed ? 0 : 1;
  }
  ctx.out << QStringLiteral("撤销完成：共 %1 个文件，%2 个未恢复。").arg(results.size()).arg(notRestored) << Qt::endl;
  return notRestored ? kExitFailures : kExitOk;
}

}  // namespace

void registerUndoCommands(CliRegistry& registry) {
  registry.add({QStringLiteral("runs"), QString(), QStringLiteral("list the recent runs that undo can take back"), {}, 0,
                runRuns});
  registry.add({QStringLiteral("undo"), QStringLiteral("[RUN]"),
                QStringLiteral("take a run back (the newest by default); a file changed since is left as it is"), {}, 0,
                runUndo});
}

}  // namespace vm::cli
