#include "cli/commands.h"

#include "cli/registry.h"

namespace vm::cli {

void registerBuiltinCommands(CliRegistry& registry) {
  // One line per subcommand, in the order of the usage text.
  registerListCommand(registry);
  registerOperationCommands(registry);
  registerInfoCommand(registry);
  registerUndoCommands(registry);
  registerTaskCommands(registry);
}

}  // namespace vm::cli
