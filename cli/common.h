// Helpers shared by the zefa commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidMask.h"

namespace zid {
class TZipCommon;
}

namespace cli {

// "zefa: file: text: extra" on stderr: the file first (left out when
// empty), the engine's text, its extra words; the engine's code follows in
// brackets only under --verbose (ShowCodes). A few reports read better as a
// sentence of their own (a missing password, a wrong one, a format's limit).
void PrintEngineError(int code, const std::string& file, const std::string& extendedMsg = std::string());
// --verbose: engine messages end in their code, as JSON output always gives it.
void SetShowCodes(bool show);
bool ShowCodes();
// Routes a component's OnError to PrintEngineError and counts the reports;
// shown (when set) turns the engine's file name into the one the user knows.
void AttachErrorPrinter(zid::TZipCommon& component, int* counter,
                        std::function<std::string(const std::string&)> shown = nullptr);

// Entry selection as zip and unzip make it: each mask is matched against the
// whole stored name, "*" crossing folders, so "a.txt" selects the top-level
// entry only and "*.txt" every .txt at any depth. Letters match their own
// case only, as Unix names do. Remembers which masks matched something.
class NameSelection {
 public:
  explicit NameSelection(const std::vector<std::string>& masks);
  bool Matches(const std::string& storedName);
  // "zefa: no entry matches MASK" for every mask that matched nothing; the count.
  int ReportUnmatched() const;

 private:
  std::vector<std::string> masks_;
  std::vector<zid::TInternalMask> compiled_;
  std::vector<bool> used_;
};

// An archive to read must be a regular file zefa may open: false, with one
// line on stderr that says why ("is a folder", "is a FIFO", "Permission
// denied", not found), when it is not. Checked after a stat, before any open,
// so that a FIFO or a device never blocks a command.
bool ArchiveUsable(const std::string& path);

// Exit codes, for the help of every command.
extern const char* const kExitCodesHelp;

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
  // False when nothing is drawn: the engine need not report progress at all.
  bool Enabled() const { return enabled_; }

 private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  int last_ = -1;
};

// A name as it may be shown on a terminal or in plain output: control
// characters (ESC, CR, newline ...), DEL and the bidirectional controls that
// reorder text are written as \xNN or \u{NNNN}, so that an entry name can
// neither move the cursor nor disguise itself. A backslash stays as it is.
std::string Printable(const std::string& s);

// While it lives, SIGINT, SIGTERM and SIGHUP set the running component's
// cancel flag, so that the engine winds down and removes its temporary
// files; a second signal ends the program at once. Signalled() tells whether
// one came (the command then exits with 128 + the signal's number).
class CancelOnSignal {
 public:
  explicit CancelOnSignal(bool* cancelFlag);
  ~CancelOnSignal();
  CancelOnSignal(const CancelOnSignal&) = delete;
  CancelOnSignal& operator=(const CancelOnSignal&) = delete;
  static int Signalled();
};

// The command line as peers' users write it, for CLI11: "-so" (7-Zip) is
// --stdout; a "-p" standing alone before an existing file, another option or
// nothing has no value (zefa x -p a.zip m: ask for the password, a.zip is the
// archive) and becomes --ask-password. "-pSECRET", "-p SECRET" and
// "--password SECRET" give the password. In CLI11's order (last first).
std::vector<std::string> PeerStyleArgs(int argc, char** argv);

// Asks for a password on the terminal without echo; false when there is no
// terminal or the user gave up (end of input).
bool AskPassword(const std::string& prompt, std::string& password);

}  // namespace cli
