// The main window's controller: the build state shared by New archive, Add
// file and Create archive, the preconfigured engine components, and every
// handler of the window. It reaches the screen only through IMainView and the
// engine only through IArchiveEngine.
#pragma once

#include <array>
#include <string>

#include "shell/ArchiveEngine.h"
#include "shell/FormComponents.h"
#include "shell/MainView.h"

namespace shell {

// The address the "ZEFA SOFTWARE" button opens.
extern const char* const kHomePage;
// Slots of the build list.
constexpr int kMaxBuildFiles = 300;
constexpr int kKeyEscape = 27;

class TForm1Controller {
 public:
  TForm1Controller(IMainView& view, IArchiveEngine& engine);

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
  void wyswietl();                // click on the file list: preview
  void otw();                     // double click on the file list
  void FormKeyDown(int key);
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
  void FolderChanged();
  void OpenWithDefault(const std::string& path);
  void CloseBuild();
  void ConfigureWriter(TWriterProps& w, const std::string& archive);
  // Deletes an existing archive after the overwrite question; false stops the command.
  bool MayWriteArchive(const std::string& archive);
  bool ConfirmReplace(const std::string& path);
  void ReportCreated(const std::string& archive, int count);
  void ReportExtracted(const ExtractResult& r);

  IMainView& view_;
  IArchiveEngine& engine_;
  FormComponents components_;
  bool busy_ = false;
};

}  // namespace shell
