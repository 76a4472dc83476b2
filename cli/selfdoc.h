// The manual page's command and exit-status sections and the bash completion's
// word lists, made from the same definitions --help shows, so that they never
// disagree with it. The build runs `zefa --self-doc KIND` (a hidden option).
#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>

namespace cli {

// KIND: "man-commands", "man-exit", "man-formats" (roff) or "bash" (assignments
// the completion script reads). False for an unknown kind.
bool WriteSelfDoc(const CLI::App& app, const std::string& kind, std::ostream& os);

}  // namespace cli
