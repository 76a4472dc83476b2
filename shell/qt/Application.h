// The program's windows in their creation order, and the platform hooks the
// window installs: the message pump and the message boxes.
#pragma once

#include <memory>

#include "shell/ArchiveEngine.h"
#include "shell/qt/Form1.h"
#include "shell/qt/Form2.h"
#include "shell/qt/Form3.h"

namespace shell::qt {

// Sets the application title and routes the engine's message pump and
// message boxes through Qt. Needs a QApplication.
void InstallPlatformHooks();
// Back to the quiet defaults (tests, shutdown).
void RemovePlatformHooks();

class Application {
 public:
  // startPath: the program's argument ("Open with", a drop on its icon, the
  // desktop entry's %f), "" when none. A file: the window starts in its folder
  // with the file selected, so an archive's entries are in the pane; a folder:
  // the window starts in it. A path that is not there is said on the status
  // line and the window starts as without one.
  explicit Application(IArchiveEngine& engine, const std::string& startPath = {});
  TForm1& Form1() { return *form1_; }
  TForm2& Form2() { return *form2_; }
  TForm3& Form3() { return *form3_; }

 private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
};

}  // namespace shell::qt
