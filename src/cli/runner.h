#pragma once
// What the subcommands share: filling the list from the PATH arguments as the File menu does,
// and running an Operation through the run frame synchronously with progress on stderr and a
// summary on stdout.
//
// A later subcommand, in its own file:
//
//   int runReplace(CliContext& ctx) {
//     if (int code = fillList(ctx)) return code;          // 1 after a refusal
//     tickAll(ctx);
//     ... the operation's own checks and question through ctx.prompter (--yes answers OK) ...
//     return runOperation(ctx, replaceOperation(...));   // 0, 1 (refused) or 3 (failures)
//   }

#include "app/runframe.h"
#include "cli/registry.h"

namespace vm::cli {

// Each PATH: a file: the single-file add; a folder: the folder add, or with --recursive the
// tree add. A missing path, or a folder with no suffix chosen, is refused (1) before anything
// is added; else 0.
int fillList(CliContext& ctx);
// Lets the run frame reach the office back end (.doc and layout work); no office starts until
// one is needed.
void useOffice(CliContext& ctx);
// Ticks every entry of the list (the subcommands work on all their documents).
void tickAll(CliContext& ctx);
// Refuses (1) with "请先添加文档，并勾选你要操作的文档！" when nothing is ticked; else 0.
int checkDocuments(CliContext& ctx);
// Starts op in the run frame (refused: 1), waits with progress on stderr, prints the summary
// on stdout; 3 when some documents failed, else 0.
int runOperation(CliContext& ctx, const Operation& op);
// For commands that start the frame themselves: waits for the run (continuing a pause), with
// progress on stderr, and prints the summary. 0 or 3.
int waitAndReport(CliContext& ctx);

}  // namespace vm::cli
