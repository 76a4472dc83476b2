// zefa-archiver: the window.
#include <QApplication>

#include "shell/ArchiveEngine.h"
#include "shell/qt/Application.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  shell::qt::InstallPlatformHooks();
  shell::ArchiveEngine engine;
  shell::qt::Application windows(engine);
  windows.Form1().show();
  const int rc = app.exec();
  shell::qt::RemovePlatformHooks();
  return rc;
}
