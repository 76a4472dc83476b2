// The window, headless: start-up state, preview, a whole build, extraction
// through the destination dialog, and a screenshot for the eye.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/files.h"
#include "platform/hooks.h"
#include "shell/ArchiveEngine.h"
#include "shell/qt/Application.h"

using namespace shell;
using namespace shell::qt;

namespace {

// A stand-in engine: lists a fixed set of names for files whose first bytes
// are "PK", writes a small file as the archive, extracts by copying a marker.
class StubEngine : public IArchiveEngine {
 public:
  std::vector<TWriterProps> compressed;
  std::vector<TExtractorProps> extracted;
  bool WriterAvailable(WriterKind) const override { return true; }
  bool ExtractorAvailable(ExtractorKind) const override { return true; }
  bool ListerAvailable() const override { return true; }
  int Compress(const TWriterProps& w) override {
    compressed.push_back(w);
    ReportProgress(50, 50);
    QFile f(QString::fromStdString(w.ArchiveFile));
    if (!f.open(QIODevice::WriteOnly)) return 0;
    f.write("PK");
    for (const auto& s : w.FileSpec) f.write(("\n" + s).c_str());
    return static_cast<int>(w.FileSpec.size());
  }
  ExtractResult Extract(const TExtractorProps& x) override {
    extracted.push_back(x);
    QFile f(QString::fromStdString(x.ExtractDir + "/extracted.txt"));
    if (!f.open(QIODevice::WriteOnly)) return {0, 1};
    f.write("out");
    return {1, 0};
  }
  void GetFileList(const TDirReaderProps& r, std::vector<std::string>& lines) override {
    QFile f(QString::fromStdString(r.ArchiveFile));
    if (!f.open(QIODevice::ReadOnly) || f.read(2) != "PK") {
      lines.clear();
      return;
    }
    lines.push_back("first.txt");
    lines.push_back("second.txt");
  }
  void Cancel() override {}
};

// Runs action on the next modal window that opens (a message box, the save
// dialog, the destination dialog).
void OnModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) {
      OnModal(action);  // not up yet
      return;
    }
    action(w);
  });
}

void ClickButton(QWidget* box, const QString& text) {
  for (QPushButton* b : box->findChildren<QPushButton*>()) {
    if (b->text() == text) {
      b->click();
      return;
    }
  }
  QFAIL(qPrintable("no button " + text));
}

void AnswerSave(TForm1& w, const QString& path) {
  OnModal([&w, path](QWidget*) {
    w.SaveDialog1->selectFile(path);
    static_cast<QDialog*>(w.SaveDialog1)->accept();
  });
}

QStringList PaneLines(QTextEdit* e) { return e->toPlainText().split('\n'); }

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    InstallPlatformHooks();
    QVERIFY(tmp.isValid());
    QDir::setCurrent(tmp.path());
    app = std::make_unique<Application>(engine);
    w = &app->Form1();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
  }
  void cleanupTestCase() {
    app.reset();
    RemovePlatformHooks();
  }

  void startUp() {
    QCOMPARE(w->windowTitle(), QString("ZEFA ARCHIVER  v. 1.0"));
    QCOMPARE(QString::fromStdString(plat::ApplicationTitle()), QString("zefa archiver"));
    QCOMPARE(w->size(), QSize(769, 536));
    QCOMPARE(w->SpeedButton1->text(), QString("New archive"));
    QCOMPARE(w->SpeedButton2->text(), QString("Add  file    "));
    QCOMPARE(w->SpeedButton3->text(), QString("Create archive"));
    QCOMPARE(w->SpeedButton4->text(), QString("Extract "));
    QCOMPARE(w->SpeedButton4->toolTip(), QString("Extract files from the archive "));
    QCOMPARE(w->SpeedButton2->toolTip(), QString("Adding files to an archive"));
    QCOMPARE(w->SpeedButton5->text(), QString("Help"));
    QCOMPARE(w->SpeedButton6->text(), QString("Quit"));
    QCOMPARE(w->SpeedButton8->text(), QString("ZEFA SOFTWARE"));
    QCOMPARE(w->SpeedButton3->geometry(), QRect(0, 55, 110, 25));
    QCOMPARE(w->SpeedButton8->geometry(), QRect(0, 192, 110, 25));
    QCOMPARE(w->DirectoryOutline1->geometry(), QRect(116, 24, 177, 369));
    QCOMPARE(w->FileListBox1->geometry(), QRect(296, 4, 473, 389));
    QCOMPARE(w->RichEdit1->geometry(), QRect(1, 392, 767, 79));
    QCOMPARE(w->GroupBox1->title(), QString("Archive format "));
    QVERIFY(w->RadioButton1->isChecked());
    QCOMPARE(w->RadioButton5->text(), QString("*.jar"));
    QVERIFY(w->Panel1->font().bold());
    QVERIFY(w->Panel1->text().isEmpty());
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QVERIFY(w->RichEdit1->isReadOnly());
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Controller().BuildCount, 1);
    QCOMPARE(QString::fromStdString(w->FileListFolder()), QDir(tmp.path()).canonicalPath());
    QCOMPARE(w->DriveComboBox1->count() > 0, true);
    QStringList items;
    for (QAction* a : w->PopupMenu1->actions()) items << a->text();
    QCOMPARE(items, QStringList({"Open file", "Delete file", "Rename file", "Copy file", "Properties..."}));
    QCOMPARE(app->Form3().windowTitle(), QString("Extract - destination folder "));
    QCOMPARE(app->Form2().windowTitle(), QString("ZEFA SELVUR - help"));
    QCOMPARE(app->Form2().RichEdit1->document()->blockCount(), 11);
  }

  void screenshot() {
    // The suite runs from <build>/tests: the picture goes to <build>/screenshots.
    const QString dir = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../screenshots");
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(w->grab().save(dir + "/main.png"));
  }

  void previewFillsThePane() {
    Write("REPORT.ZIP", "PK....");
    Write("broken.zip", "not an archive");
    Write("notes.txt", "text");
    w->FileListUpdate();
    Click("REPORT.ZIP");
    QCOMPARE(PaneLines(w->RichEdit1), QStringList({Path("REPORT.ZIP"), "first.txt", "second.txt"}));
    QCOMPARE(w->Panel1->text(), QString("View file inside the archive"));
    Click("notes.txt");  // not an archive: pane and status stay
    QCOMPARE(PaneLines(w->RichEdit1).size(), 3);
    Click("broken.zip");
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QCOMPARE(w->Panel1->text(), QString("View file inside the archive"));
  }

  void wholeBuild() {
    Write("one.txt", "1");
    Write("two.txt", "2");
    w->FileListUpdate();
    AnswerSave(*w, Path("bundle.txt"));
    w->SpeedButton1->click();
    QCOMPARE(w->Controller().BuildMode, 2);
    QVERIFY(w->FileListBox1->Select("one.txt"));
    w->SpeedButton2->click();
    QVERIFY(w->FileListBox1->Select("two.txt"));
    w->SpeedButton2->click();
    QCOMPARE(PaneLines(w->RichEdit1),
             QStringList({"Archive name: :", Path("bundle.zip"), "Selected files:", Path("one.txt"), Path("two.txt")}));
    w->SpeedButton3->click();
    QVERIFY(QFile::exists(Path("bundle.zip")));
    QCOMPARE(engine.compressed.size(), size_t(2));
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Panel1->text(), QString("Created bundle.zip with 2 files"));
    QVERIFY(w->FileListBox1->Select("bundle.zip"));  // the list was re-read
    QVERIFY(!w->ProgressBar1->isVisible());
  }

  void escAnsweredYesCancelsBuild() {
    AnswerSave(*w, Path("cancelled"));
    w->SpeedButton1->click();
    QCOMPARE(w->Controller().BuildMode, 2);
    OnModal([](QWidget* box) { ClickButton(box, "Yes"); });
    QTest::keyClick(w->FileListBox1, Qt::Key_Escape);
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Panel1->text(), QString("User canceled the create archive!"));
  }

  void extractThroughTheDialog() {
    QDir(tmp.path()).mkdir("dest");
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    TForm3& dlg = app->Form3();
    OnModal([&dlg, this](QWidget* modal) {
      QCOMPARE(modal, static_cast<QWidget*>(&dlg));
      dlg.SetListFolder(Path("dest").toStdString());
      dlg.BitBtn1->click();
    });
    w->SpeedButton4->click();
    QCOMPARE(engine.extracted.size(), size_t(1));
    QCOMPARE(QString::fromStdString(engine.extracted[0].ExtractDir), Path("dest"));
    QVERIFY(QFile::exists(Path("dest/extracted.txt")));
    QCOMPARE(w->Panel1->text(), QString("Extracted 1 file"));
    QDir::setCurrent(tmp.path());
  }

  void destinationDialogCancel() {
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    OnModal([this](QWidget*) { app->Form3().BitBtn2->click(); });
    w->SpeedButton4->click();
    QCOMPARE(engine.extracted.size(), size_t(1));
  }

  void messageBoxKeepsWindowUsable() {
    w->FileListBox1->clearSelection();
    OnModal([](QWidget* box) { ClickButton(box, "OK"); });
    w->SpeedButton4->click();  // "No files selected!"
    QVERIFY(w->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
  }

  void helpShowsAndCloses() {
    w->SpeedButton5->click();
    QVERIFY(app->Form2().isVisible());
    app->Form2().SpeedButton1->click();
    QVERIFY(!app->Form2().isVisible());
  }

 private:
  QString Path(const QString& name) const { return QDir(QDir(tmp.path()).canonicalPath()).filePath(name); }
  void Write(const QString& name, const QByteArray& data) {
    QFile f(Path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
  }
  void Click(const QString& name) {
    const auto found = w->FileListBox1->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    QListWidgetItem* item = found.first();
    QTest::mouseClick(w->FileListBox1->viewport(), Qt::LeftButton, {},
                      w->FileListBox1->visualItemRect(item).center());
  }

  QTemporaryDir tmp;
  StubEngine engine;
  std::unique_ptr<Application> app;
  TForm1* w = nullptr;
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
