// The main window's controller: the build state shared by New archive, Add
// file and Create archive, the preconfigured engine components, and every
// handler of the window. It reaches the screen only through IMainView and the
// engine only through IArchiveEngine.
#pragma once

#include <array>
#include <vector>
#include <string>

#include "shell/ArchiveEngine.h"
#include "shell/FormComponents.h"
#include "shell/MainView.h"

namespace shell {

// "1 file", "2 files": a count with the word that fits it.
inline std::string CountText(int n, const char* one, const char* many) {
  return std::to_string(n) + (n == 1 ? one : many);
}

// The address the "ZEFA SOFTWARE" button opens.
extern const char* const kHomePage;
// Slots of the build list.
constexpr int kMaxBuildFiles = 300;
// Key codes FormKeyDown takes.
constexpr int kKeyReturn = 13;
constexpr int kKeyEscape = 27;
constexpr int kKeyDelete = 46;
constexpr int kKeyQ = 'Q';

class TForm1Controller {
 public:
  TForm1Controller(IMainView& view, IArchiveEngine& engine);
  ~TForm1Controller();
  TForm1Controller(const TForm1Controller&) = delete;
  TForm1Controller& operator=(const TForm1Controller&) = delete;

  // Window state.
  int BuildMode = 1;                                    // 1 idle, 2 a build is open
  std::string BuildName;                                // archive named by New archive
  std::array<std::string, kMaxBuildFiles + 1> BuildFiles;  // slots 1..300
  int BuildCount = 1;                                   // one more than the paths held
  bool DestinationConfirmed = false;                    // set by the destination dialog's OK

  FormComponents& Components() { return components_; }
  // True while an engine operation runs; the window's message pump keeps
  // running then, and handlers that would start another operation or touch
  // the build state are ignored until it ends.
  bool Busy() const { return busy_; }

  // Main window.
  void tworzenie();               // window created
  void zm2();                     // drive selector changed
  void zmiana1();                 // folder tree changed
  void wyswietl();                // the file-list selection moved (mouse or keys): preview
  void otw();                     // double click on the file list
  // The preview pane's menu of code pages: the page the previewed archive's
  // unmarked names are read in ("": guessed), in the pane and by Extract.
  void NamePageChosen(const std::string& page);
  // The pages the menu offers.
  static const std::vector<std::string>& NamePages();
  // Esc, Ctrl+Q; Return and Delete as the file list hands them on.
  void FormKeyDown(int key, bool ctrl = false);
  // Files dropped on the window from a file manager.
  void FilesDropped(const std::vector<std::string>& paths);
  void CancelClick();             // "Cancel" beside the progress bar
  // The create password: archives made from now on are encrypted with it
  // (empty: not at all); cipher is one of CreateCiphers().
  struct TCipherChoice {
    const char* label;
    int strength;  // as TWriterProps::Cipher
  };
  // The ciphers offered, the default first, as zefa a --encrypt has them.
  static const std::vector<TCipherChoice>& CreateCiphers();
  void SetCreatePassword(const std::string& password, int cipher);
  void SpeedButton1Click();       // "New archive"
  void SpeedButton2Click();       // "Add  file    "
  void SpeedButton3Click();       // "Create archive"
  void SpeedButton4Click();       // "Extract "
  void SpeedButton5Click();       // "Help"
  void SpeedButton6Click();       // "Quit"
  void SpeedButton8Click();       // "ZEFA SOFTWARE"

  // Context menu.
  void Otwrzzbir1Click();         // "Open file"
  void Przenie1Click();           // "Delete file"
  void Zmienazwzbioru1Click();    // "Rename file"
  void Kopijzbiory1Click();       // "Copy file"
  void Properties1Click();        // "Properties..."

 private:
  // Marks the controller busy for the life of one engine operation: the view
  // holds back the commands and shows progress meanwhile.
  class BusyScope {
   public:
    explicit BusyScope(TForm1Controller& c);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    TForm1Controller& c_;
  };
  // One engine run of a command, for the progress bar: the run covers
  // [from, from + span) of the whole command, in percent.
  void RunSpan(double from, double span);

  void FolderChanged();
  void Preview(const std::string& path);
  void OpenFolder(const std::string& folder);
  void AddToBuild(const std::vector<std::string>& paths);
  // Back to the normal state after a build ends, with the reason on the status line.
  void EndBuild(const std::string& status);
  void OpenWithDefault(const std::string& path);
  void CloseBuild();
  void ConfigureWriter(TWriterProps& w, const std::string& archive);
  // Deletes an existing archive after the overwrite question; false stops the command.
  bool MayWriteArchive(const std::string& archive);
  bool ConfirmReplace(const std::string& path);
  void CreateSingle(WriterKind format, const std::string& selected);
  void CreateBuild(WriterKind format);
  void ReportCreated(const std::string& archive, int count);
  void ReportExtracted(const std::string& archive, const ExtractResult& r);

  IMainView& view_;
  IArchiveEngine& engine_;
  FormComponents components_;
  bool busy_ = false;
  bool cancelRequested_ = false;
  bool previewShown_ = false;  // the pane and the status line show a preview
  std::string namePage_;       // the page chosen for namePageFor_ ("": guessed)
  std::string namePageFor_;    // the archive last previewed
  double runFrom_ = 0, runSpan_ = 100;
  std::string createPassword_;
  int createCipher_ = 3;
};

}  // namespace shell
