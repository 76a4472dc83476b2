// zefa: the command-line face of the ZEFA Archiver engine.
#include <signal.h>

#include <iostream>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/selfdoc.h"

namespace cli {
// Registration functions of the command files; add one line per new command.
std::vector<Command> RegisterCommands(CLI::App& app);
}  // namespace cli

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) then fails the write with EFBIG, which is
  // reported, instead of ending the program without a word.
  signal(SIGXFSZ, SIG_IGN);
  CLI::App app{"zefa - the ZEFA Archiver command line: list, test, extract and create archives"};
  app.set_version_flag("--version", std::string("zefa ") + ZEFA_VERSION);
  app.require_subcommand(0, 1);
  app.footer(cli::kExitCodesHelp);
  // Options of zefa itself may follow the command too ("zefa x a.zip --verbose").
  app.fallthrough();
  bool verbose = false;
  app.add_flag("--verbose", verbose, "Engine messages end in their code (as 25151)");
  std::vector<cli::Command> commands = cli::RegisterCommands(app);
  std::string selfDoc;  // the build makes the manual page and the shell completion with it
  app.add_option("--self-doc", selfDoc)->group("");
  try {
    std::vector<std::string> args = cli::PeerStyleArgs(argc, argv);
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    int rc = app.exit(e);
    return rc == 0 ? 0 : cli::kExitFailed;
  }
  cli::SetShowCodes(verbose);
  if (!selfDoc.empty()) return cli::WriteSelfDoc(app, selfDoc, std::cout) ? cli::kExitOk : cli::kExitFailed;
  for (cli::Command& c : commands)
    if (c.app && c.app->parsed()) return c.run();
  std::cout << app.help();
  return cli::kExitOk;
}
