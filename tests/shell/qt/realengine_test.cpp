// The window over the engine of this build. Each case waits for its format:
// it skips until the component it needs has joined ArchiveEngine.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <random>

#include "shell/ArchiveEngine.h"
#include "shell/qt/Application.h"

using namespace shell;
using namespace shell::qt;

class RealEngineTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    InstallPlatformHooks();
    QVERIFY(tmp.isValid());
    QDir::setCurrent(tmp.path());
    Write("one.txt", QByteArray(5000, 'a'));
    Write("two.txt", "second file\n");
    Write("fake.zip", "this is text, not an archive");
    app = std::make_unique<Application>(engine);
    w = &app->Form1();
    w->show();
  }
  void cleanupTestCase() {
    app.reset();
    RemovePlatformHooks();
  }

  void unreadableArchiveGivesEmptyPane() {
    // Holds whether or not the reader has landed: nothing is listed.
    QVERIFY(w->FileListBox1->Select("fake.zip"));  // the preview follows the selection
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QCOMPARE(w->Panel1->text(), QString("View file inside the archive"));
  }

  void buildWritesAZipThatUnzipAccepts() {
    if (!engine.WriterAvailable(Family("zip"))) QSKIP("the ZIP writer has not joined yet");
    if (QStandardPaths::findExecutable("unzip").isEmpty()) QSKIP("unzip not installed");
    QTimer::singleShot(0, [this] {
      if (QWidget* field = QApplication::focusWidget()) field->clearFocus();
      w->SaveDialog1->selectFile(Path("real"));
      static_cast<QDialog*>(w->SaveDialog1)->accept();
    });
    w->SpeedButton1->click();
    QVERIFY(w->FileListBox1->Select("one.txt"));
    w->SpeedButton2->click();
    QVERIFY(w->FileListBox1->Select("two.txt"));
    w->SpeedButton2->click();
    w->SpeedButton3->click();
    QVERIFY(QFile::exists(Path("real.zip")));
    QProcess unzip;
    unzip.start("unzip", {"-t", Path("real.zip")});
    QVERIFY(unzip.waitForFinished(60000));
    QCOMPARE(unzip.exitCode(), 0);
    QCOMPARE(w->Panel1->text(), QString("Created real.zip with 2 files"));
  }

  void previewListsTheEntries() {
    if (!engine.ListerAvailable() || !QFile::exists(Path("real.zip"))) QSKIP("needs the ZIP writer and the reader");
    w->FileListUpdate();
    w->FileListBox1->clearSelection();
    QVERIFY(w->FileListBox1->Select("real.zip"));
    const QStringList lines = w->RichEdit1->toPlainText().split('\n');
    QCOMPARE(lines, QStringList({Path("real.zip"), "one.txt", "two.txt"}));
  }

  void extractThroughTheDialog() {
    if (!engine.ExtractorAvailable(Family("zip")) || !QFile::exists(Path("real.zip")))
      QSKIP("needs the ZIP writer and extractor");
    QDir(tmp.path()).mkdir("out");
    w->FileListUpdate();
    QVERIFY(w->FileListBox1->Select("real.zip"));
    TForm3& dlg = app->Form3();
    QTimer::singleShot(0, [&dlg, this] {
      dlg.SetListFolder(Path("out").toStdString());
      dlg.BitBtn1->click();
    });
    w->SpeedButton4->click();
    QDir::setCurrent(tmp.path());
    QFile f(Path("out/one.txt"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray(5000, 'a'));
    QCOMPARE(w->Panel1->text(), QString("Extracted 2 files"));
  }

  // Cancel beside the bar stops a long extraction, and the file it was
  // writing is not left behind half-written: what is there is whole.
  void cancelStopsALongExtraction() {
    if (!engine.WriterAvailable(Family("zip")) || !engine.ExtractorAvailable(Family("zip")))
      QSKIP("needs the ZIP writer and extractor");
    // Random bytes do not compress: every entry is long to copy out.
    TWriterProps zip = w->Controller().Components().Writer(Family("zip"));
    zip.ArchiveFile = Path("long.zip").toStdString();
    zip.RecurseDirs = false;
    zip.FileSpec.clear();
    for (int i = 0; i < 3; ++i) {
      const QString name = QString("big%1.bin").arg(i);
      QByteArray data(4 << 20, Qt::Uninitialized);
      std::mt19937 random(static_cast<unsigned>(i) + 1);
      for (char& c : data) c = static_cast<char>(random() >> 24);
      Write(name, data);
      zip.FileSpec.push_back(Path(name).toStdString());
    }
    QCOMPARE(engine.Compress(zip), 3);
    QDir(tmp.path()).mkdir("cut");
    w->FileListUpdate();
    QVERIFY(w->FileListBox1->Select("long.zip"));
    int clicks = 0;
    connect(w->ProgressBar1, &QProgressBar::valueChanged, this, [this, &clicks] {
      if (clicks == 0 && w->CancelButton->isVisible()) {
        ++clicks;
        QTest::mouseClick(w->CancelButton, Qt::LeftButton);
      }
    });
    TForm3& dlg = app->Form3();
    QTimer::singleShot(0, [&dlg, this] {
      dlg.SetListFolder(Path("cut").toStdString());
      dlg.BitBtn1->click();
    });
    w->SpeedButton4->click();
    QDir::setCurrent(tmp.path());
    w->ProgressBar1->disconnect(this);
    QCOMPARE(clicks, 1);
    const QStringList out = QDir(Path("cut")).entryList(QDir::Files);
    QVERIFY(out.size() < 3);
    const QString files = out.size() == 1 ? "1 file" : QString("%1 files").arg(out.size());
    QCOMPARE(w->Panel1->text(), "Extraction cancelled after " + files);
    for (const QString& name : out) QCOMPARE(Read("cut/" + name), Read(name));
    QVERIFY(!w->CancelButton->isVisible());
  }

 private:
  QString Path(const QString& name) const { return QDir(QDir(tmp.path()).canonicalPath()).filePath(name); }
  QByteArray Read(const QString& name) const {
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  void Write(const QString& name, const QByteArray& data) {
    QFile f(Path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
  }

  QTemporaryDir tmp;
  ArchiveEngine engine;
  std::unique_ptr<Application> app;
  TForm1* w = nullptr;
};

QTEST_MAIN(RealEngineTest)
#include "realengine_test.moc"
