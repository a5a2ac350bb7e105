#pragma once
// The registration functions of the subcommands that are not operations, one per file
// (src/cli/<name>command.cpp). An operation's command comes from its declaration.

namespace vm::cli {

class CliRegistry;

void registerListCommand(CliRegistry& registry);
// Every declared operation's command (operationcommands.cpp), in the registry's order.
void registerOperationCommands(CliRegistry& registry);
void registerInfoCommand(CliRegistry& registry);
void registerUndoCommands(CliRegistry& registry);  // runs, undo
void registerTaskCommands(CliRegistry& registry);  // task list|show|save|run|delete|compact|import

}  // namespace vm::cli
