// The list of zefa's subcommands.
#include "cli/commands.h"

namespace cli {

std::vector<Command> RegisterCommands(CLI::App& app) {
  std::vector<Command> commands;
  (void)app;
  return commands;
}

}  // namespace cli
