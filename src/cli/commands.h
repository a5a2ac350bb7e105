#pragma once
// The registration functions of the subcommands, one per file (src/cli/<name>command.cpp).
// A new subcommand declares its function here and adds one line to commands.cpp.

namespace vm::cli {

class CliRegistry;

void registerListCommand(CliRegistry& registry);
void registerReplaceCommand(CliRegistry& registry);
void registerInfoCommand(CliRegistry& registry);

}  // namespace vm::cli
