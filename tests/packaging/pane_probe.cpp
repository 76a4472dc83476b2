// Put into an installed zefa-archiver with LD_PRELOAD by package_test.sh: once
// the window is up, prints the lines of its entry pane (RichEdit1) to stdout
// and ends the program. Nothing of the program is changed for it.
#include <QApplication>
#include <QTextEdit>
#include <QTimer>
#include <cstdio>

namespace {

void Look(int triesLeft) {
  for (QWidget* w : QApplication::allWidgets()) {
    auto* pane = qobject_cast<QTextEdit*>(w);
    if (pane && pane->objectName() == "RichEdit1" && pane->window()->isVisible()) {
      std::printf("%s\n", pane->toPlainText().toLocal8Bit().constData());
      std::fflush(stdout);
      QCoreApplication::exit(0);
      return;
    }
  }
  if (triesLeft == 0) {
    std::fprintf(stderr, "pane_probe: no window with an entry pane\n");
    QCoreApplication::exit(3);
    return;
  }
  QTimer::singleShot(100, [triesLeft] { Look(triesLeft - 1); });
}

void Start() {
  QTimer::singleShot(0, [] { Look(300); });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
