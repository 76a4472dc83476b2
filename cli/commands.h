// The subcommands of zefa. Each command file registers its subcommand on the
// app and runs it when chosen; main() wires them up.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

namespace cli {

// Exit codes shared by every command.
enum Exit : int {
  kExitOk = 0,       // all selected entries done and passed
  kExitPartial = 1,  // some entries failed or were skipped
  kExitFailed = 2,   // the archive could not be processed
};

// A registered subcommand: the parsed options live in the closure, run() gives the exit code.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// --charset NAME, also -O NAME as Debian's unzip spells it: the code page of
// the names stored without a mark of their encoding.
CLI::Option* AddCharsetOption(CLI::App* sub, std::string& charset, const std::string& help);
// The page a --charset value names (empty: guessed per archive); false, with
// one sentence on stderr, for a name that is not a code page zefa knows.
bool CharsetUsable(const std::string& name, std::string& page);

}  // namespace cli
