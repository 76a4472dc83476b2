// Helpers shared by the zefa commands.
#pragma once

#include <cstdint>
#include <string>

namespace zid {
class TZipCommon;
}

namespace cli {

// "zefa: CODE text (file)" on stderr; the part in brackets only when file is
// not empty; extra words of the engine follow the text after ": ".
void PrintEngineError(int code, const std::string& file, const std::string& extendedMsg = std::string());
// Routes a component's OnError to PrintEngineError and counts the reports.
void AttachErrorPrinter(zid::TZipCommon& component, int* counter);

// A JSON string literal with its quotes.
std::string JsonString(const std::string& s);

// A date-time of the engine (days since 1899-12-30, the time as the
// fraction) as local ISO 8601 to the second: "2024-05-17T13:45:02".
std::string IsoDateTime(double dateTime);

bool StderrIsTerminal();
bool StdinIsTerminal();

// A one-line progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(std::string label);
  ~ProgressBar();
  void Update(int byFile, int byArchive, const std::string& name);
  void Finish();

 private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  int last_ = -1;
};

// Asks for a password on the terminal without echo; false when there is no
// terminal or the user gave up (end of input).
bool AskPassword(const std::string& prompt, std::string& password);

}  // namespace cli
