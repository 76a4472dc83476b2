// The list of zefa's subcommands.
#include "cli/commands.h"

namespace cli {

Command RegisterInfo(CLI::App& app);

std::vector<Command> RegisterCommands(CLI::App& app) {
  std::vector<Command> commands;
  (void)app;
  commands.push_back(RegisterInfo(app));
  return commands;
}

}  // namespace cli
