// zefa-archiver: the window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("zefa archiver");
  QMainWindow w;
  w.setWindowTitle("ZEFA ARCHIVER  v. 1.0");
  w.show();
  return app.exec();
}
