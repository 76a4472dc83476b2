// A scripted screen and a recording engine for the window's controller, and
// the fixture that puts the controller over them.
#pragma once

#include <cstdio>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "shell/ArchiveEngine.h"
#include "shell/MainView.h"
#include "shell/Unit1.h"
#include "support/testutil.h"

namespace shelltest {

using namespace shell;

class FakeView : public IMainView {
 public:
  // What the screen shows.
  std::string selected;
  std::vector<std::string> selection;  // several selected; empty: just `selected`
  std::string listFolder = "/home/user";
  std::string treeFolder = "/home/user";
  std::string drive = "/";
  std::string treeDrive;
  std::vector<std::string> pane;
  std::string status;
  WriterKind format = Family("zip");
  int firstIndent = 0, fontSize = 0;
  PaneColor color = PaneColor::Black;
  std::string fontName;
  std::string namePage;  // the page the pane's names are read in
  bool namePageChosen = false;

  // Scripted answers, used in order; an empty queue answers "No" / cancel.
  std::deque<bool> yesNo;
  std::deque<std::string> saveAnswers;  // "" = dialog cancelled
  std::function<void()> onDestination;  // what the user does in the dialog
  struct PasswordReply {
    PasswordAnswer answer;
    std::string password;
  };
  std::deque<PasswordReply> passwords;  // empty queue: "Skip"

  // What was asked.
  std::vector<std::string> messages, questions, saveTitles, opened, openedIn, properties, urls;
  std::string saveFileName;
  int fileListUpdates = 0, fileListRepaints = 0, treeUpdates = 0, treeRepaints = 0, paneRepaints = 0;
  int destinationShown = 0, helpShown = 0, terminated = 0;
  std::vector<std::string> passwordAsked;  // entry names, "again" marked with a trailing "*"
  std::vector<int> progress;
  std::function<void(int)> onProgress;  // what the user does when the bar moves
  bool busy = false;
  int busySpells = 0;

  void ShowNamePage(const std::string& page, bool chosen) override {
    namePage = page;
    namePageChosen = chosen;
  }
  std::string SelectedFile() override { return selected; }
  std::vector<std::string> SelectedFiles() override {
    if (!selection.empty()) return selection;
    return selected.empty() ? std::vector<std::string>{} : std::vector<std::string>{selected};
  }
  void SetTreeFolder(const std::string& f) override { treeFolder = f; }
  void SetBusy(bool b) override {
    busy = b;
    if (b) ++busySpells;
  }
  void ShowProgress(int percent) override {
    progress.push_back(percent);
    if (onProgress) onProgress(percent);
  }
  PasswordAnswer AskPassword(const std::string& entry, bool again, std::string& password) override {
    passwordAsked.push_back(entry + (again ? "*" : ""));
    if (passwords.empty()) return PasswordAnswer::Skip;
    const PasswordReply r = passwords.front();
    passwords.pop_front();
    password = r.password;
    return r.answer;
  }
  std::string FileListFolder() override { return listFolder; }
  void SetFileListFolder(const std::string& f) override { listFolder = f; }
  void FileListUpdate() override { ++fileListUpdates; }
  void FileListRepaint() override { ++fileListRepaints; }
  void SetTreeDrive(const std::string& d) override { treeDrive = d; }
  std::string TreeFolder() override { return treeFolder; }
  void TreeUpdate() override { ++treeUpdates; }
  void TreeRepaint() override { ++treeRepaints; }
  std::string SelectedDrive() override { return drive; }
  void PaneClear() override { pane.clear(); }
  void PaneAdd(const std::string& line) override { pane.push_back(line); }
  void PaneAddLines(const std::vector<std::string>& lines) override { pane.insert(pane.end(), lines.begin(), lines.end()); }
  void PaneSetFirstIndent(int i) override { firstIndent = i; }
  void PaneSetFontSize(int s) override { fontSize = s; }
  void PaneSetFontColor(PaneColor c) override { color = c; }
  void PaneSetFontName(const std::string& f) override { fontName = f; }
  void PaneRepaint() override { ++paneRepaints; }
  void SetStatus(const std::string& t) override { status = t; }
  WriterKind SelectedFormat() override { return format; }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
  bool ConfirmYesNo(const std::string& q) override {
    questions.push_back(q);
    if (yesNo.empty()) return false;
    bool a = yesNo.front();
    yesNo.pop_front();
    return a;
  }
  void SetSaveTitle(const std::string& t) override { saveTitles.push_back(t); }
  void SetSaveFileName(const std::string& n) override { saveFileName = n; }
  bool RunSaveDialog(std::string& chosen) override {
    if (saveAnswers.empty()) return false;
    chosen = saveAnswers.front();
    saveAnswers.pop_front();
    return !chosen.empty();
  }
  void ShowDestinationDialog() override {
    ++destinationShown;
    if (onDestination) onDestination();
  }
  void ShowHelp() override { ++helpShown; }
  void OpenDocument(const std::string& p, const std::string& w) override {
    opened.push_back(p);
    openedIn.push_back(w);
  }
  void ShowProperties(const std::string& p) override { properties.push_back(p); }
  void OpenUrl(const std::string& u) override { urls.push_back(u); }
  void Terminate() override { ++terminated; }
};

// Records every operation with the properties it was given.
class FakeEngine : public IArchiveEngine {
 public:
  bool available = true;
  std::vector<TWriterProps> compressed;
  std::vector<TExtractorProps> extracted;
  std::vector<TDirReaderProps> listed;
  std::vector<std::string> entries;  // what GetFileList finds; unreadable -> empties
  bool readable = true;
  int compressResult = -1;
  bool writeArchive = true;  // Compress leaves a file of the archive's name  // -1: the number of paths in FileSpec
  ExtractResult extractResult{3, 0};
  std::function<void()> during;  // runs inside every operation (the message pump)
  int cancels = 0;

  bool WriterAvailable(WriterKind) const override { return available; }
  bool ExtractorAvailable(ExtractorKind) const override { return available; }
  bool ListerAvailable() const override { return available; }
  int Compress(const TWriterProps& w) override {
    compressed.push_back(w);
    if (during) during();
    if (writeArchive) {
      std::FILE* f = std::fopen(w.ArchiveFile.c_str(), "wb");
      if (f) {
        std::fputs(std::to_string(w.FileSpec.size()).c_str(), f);
        std::fclose(f);
      }
    }
    return compressResult < 0 ? static_cast<int>(w.FileSpec.size()) : compressResult;
  }
  ExtractResult Extract(const TExtractorProps& x) override {
    extracted.push_back(x);
    if (during) during();
    return extractResult;
  }
  void GetFileList(const TDirReaderProps& r, std::vector<std::string>& lines) override {
    listed.push_back(r);
    if (during) during();
    if (!readable) {
      lines.clear();
      return;
    }
    lines.insert(lines.end(), entries.begin(), entries.end());
    namePage_ = r.NameCharset.empty() ? guessedPage : r.NameCharset;
  }
  std::string guessedPage = "CP437";  // the page GetFileList guesses
  void Cancel() override { ++cancels; }

  // What a real engine does from inside an operation.
  void Progress(int byFile, int byArchive) { ReportProgress(byFile, byArchive); }
  PasswordAnswer Ask(const std::string& entry, std::string& password) { return AskPassword(entry, false, password); }
  void Fail(const std::string& why) { SetFailure(why); }
};

// Puts the current folder back when a test has moved it (the destination
// dialog hands its folder over as the current folder).
class CwdGuard {
 public:
  CwdGuard() : saved_(plat::GetCurrentDir()) {}
  ~CwdGuard() { plat::SetCurrentDir(saved_); }

 private:
  std::string saved_;
};

// The controller over the scripted screen and an engine (the recording one
// or the real one), with a temporary folder.
template <class Engine>
class ShellFixture : public ::testing::Test {
 protected:
  // "New archive" named name (in the temporary folder), then "Add  file    "
  // for each path.
  void OpenBuild(const std::string& name, const std::vector<std::string>& files = {}) {
    v.saveAnswers.push_back(dir.file(name));
    c.SpeedButton1Click();
    for (const auto& f : files) {
      v.selected = f;
      c.SpeedButton2Click();
    }
  }

  CwdGuard cwd;
  testutil::TempDir dir;
  FakeView v;
  Engine e;
  TForm1Controller c{v, e};
};

}  // namespace shelltest
