// The list of zefa's subcommands.
#include "cli/commands.h"

namespace cli {

Command RegisterInfo(CLI::App& app);
Command RegisterExtract(CLI::App& app);
Command RegisterTest(CLI::App& app);
Command RegisterList(CLI::App& app);
Command RegisterAdd(CLI::App& app);
Command RegisterDelete(CLI::App& app);

std::vector<Command> RegisterCommands(CLI::App& app) {
  std::vector<Command> commands;
  (void)app;
  commands.push_back(RegisterInfo(app));
  commands.push_back(RegisterExtract(app));
  commands.push_back(RegisterTest(app));
  commands.push_back(RegisterList(app));
  commands.push_back(RegisterAdd(app));
  commands.push_back(RegisterDelete(app));
  return commands;
}

}  // namespace cli
