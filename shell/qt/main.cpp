// zefa-archiver: the window. One optional argument, an archive (or a folder)
// to start in: the desktop entry's %f, "Open with", a drop on the icon.
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <cstdio>
#include <cstring>

#include "shell/ArchiveEngine.h"
#include "shell/qt/Application.h"

namespace {

// Reads the arguments the toolkit has left; false on a usage error, said on stderr.
bool ParseArguments(const QCoreApplication& app, std::string& path) {
  QCommandLineParser args;
  args.setApplicationDescription("ZEFA Archiver: a file browser that lists, extracts and creates archives.");
  const QCommandLineOption help = args.addHelpOption();
  const QCommandLineOption version = args.addVersionOption();
  args.addPositionalArgument("archive", "An archive to show: the window starts in its folder with its entries listed.",
                             "[archive]");
  const bool parsed = args.parse(app.arguments());
  if (parsed && args.isSet(help)) args.showHelp(0);  // these two end the program
  if (parsed && args.isSet(version)) args.showVersion();
  const QStringList paths = args.positionalArguments();
  if (!parsed || paths.size() > 1) {
    const QString why = parsed ? QString("one archive at a time") : args.errorText();
    std::fprintf(stderr, "zefa-archiver: %s\n%s", qPrintable(why), qPrintable(args.helpText()));
    return false;
  }
  if (!paths.isEmpty()) path = QFile::encodeName(paths.first()).toStdString();
  return true;
}

// --help and --version answer without a display.
bool AsksForText(int argc, char** argv) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    for (const char* o : {"-h", "--help", "--help-all", "-?", "-v", "--version"})
      if (std::strcmp(argv[i], o) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string path;
  if (AsksForText(argc, argv)) {
    QCoreApplication text(argc, argv);
    QCoreApplication::setApplicationVersion(ZEFA_VERSION);
    return ParseArguments(text, path) ? 0 : 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationVersion(ZEFA_VERSION);
  if (!ParseArguments(app, path)) return 2;
  shell::qt::InstallPlatformHooks();
  shell::ArchiveEngine engine;
  shell::qt::Application windows(engine, path);
  windows.Form1().show();
  const int rc = app.exec();
  shell::qt::RemovePlatformHooks();
  return rc;
}
