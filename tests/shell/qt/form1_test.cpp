// The window, headless, over a stand-in engine: start-up state and layout,
// preview by mouse and keys, builds, extraction through the destination
// dialog, the password question, progress, drops, and a screenshot of each
// state for the eye (<build>/screenshots).
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "platform/files.h"
#include "platform/hooks.h"
#include "shell/ArchiveEngine.h"
#include "shell/qt/Application.h"
#include "shell/qt/PasswordDialog.h"

using namespace shell;
using namespace shell::qt;

namespace {

// A stand-in engine: lists a fixed set of names for files whose first bytes
// are "PK", writes a small file as the archive, extracts by writing a marker.
// Only the ZIP and JAR writers are there.
class StubEngine : public IArchiveEngine {
 public:
  std::vector<TWriterProps> compressed;
  std::vector<TExtractorProps> extracted;
  // Runs inside Extract instead of writing the marker, when set.
  std::function<ExtractResult()> onExtract;

  bool WriterAvailable(WriterKind k) const override { return k == Family("zip") || k == Family("jar"); }
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
    if (onExtract) return onExtract();
    QFile f(QString::fromStdString(x.ExtractDir + "/extracted.txt"));
    if (!f.open(QIODevice::WriteOnly)) return {0, 1};
    f.write("out");
    return {1, 0};
  }
  void GetFileList(const TDirReaderProps& r, std::vector<std::string>& lines) override {
    namePage_ = r.NameCharset.empty() ? "CP437" : r.NameCharset;
    QFile f(QString::fromStdString(r.ArchiveFile));
    if (!f.open(QIODevice::ReadOnly) || f.read(2) != "PK") {
      lines.clear();
      return;
    }
    lines.push_back("first.txt");
    lines.push_back("second.txt");
  }
  void Cancel() override {}

  void Progress(int percent) { ReportProgress(percent, percent); }
  PasswordAnswer Ask(const std::string& entry, std::string& password) { return AskPassword(entry, false, password); }
};

// Runs action on the next modal window that opens (a message box, the save
// dialog, the destination dialog, the password question).
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

// Answers the next n password questions, one after the other, with "Skip".
void SkipPasswords(int n) {
  if (n == 0) return;
  OnModal([n](QWidget* next) {
    ClickButton(next, "Skip");
    SkipPasswords(n - 1);
  });
}

void AnswerSave(TForm1& w, const QString& path) {
  OnModal([&w, path](QWidget*) {
    // The dialog leaves a name field that has the focus alone.
    if (QWidget* field = QApplication::focusWidget()) field->clearFocus();
    w.SaveDialog1->selectFile(path);
    static_cast<QDialog*>(w.SaveDialog1)->accept();
  });
}

QStringList PaneLines(QTextEdit* e) { return e->toPlainText().split('\n'); }

QString ScreenshotDir() {
  // The suite runs from <build>/tests: the pictures go to <build>/screenshots.
  const QString dir = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../screenshots");
  QDir().mkpath(dir);
  return dir;
}

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
  void init() { engine.onExtract = nullptr; }

  void startUp() {
    QCOMPARE(w->windowTitle(), QString("ZEFA ARCHIVER  v. 1.0"));
    QCOMPARE(QString::fromStdString(plat::ApplicationTitle()), QString("zefa archiver"));
    QVERIFY(!w->windowIcon().isNull());
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
    QCOMPARE(w->GroupBox1->title(), QString("Archive format "));
    QVERIFY(w->RadioButton1->isChecked());
    QCOMPARE(w->RadioButton5->text(), QString("*.jar"));
    QVERIFY(w->Panel1->font().bold());
    QVERIFY(w->Panel1->text().isEmpty());
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QVERIFY(w->RichEdit1->isReadOnly());
    QVERIFY(!w->ProgressBar1->isVisible());
    QVERIFY(!w->CancelButton->isVisible());
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Controller().BuildCount, 1);
    QCOMPARE(QString::fromStdString(w->FileListFolder()), QDir(tmp.path()).canonicalPath());
    QCOMPARE(w->DriveComboBox1->count() > 0, true);
    QCOMPARE(w->FileListBox1->headerItem()->text(1), QString("Size"));
    QStringList items;
    for (QAction* a : w->PopupMenu1->actions()) items << a->text();
    QCOMPARE(items, QStringList({"Open file", "Delete file", "Rename file", "Copy file", "Properties..."}));
    QCOMPARE(app->Form3().windowTitle(), QString("Extract - destination folder "));
    QCOMPARE(app->Form2().windowTitle(), QString("ZEFA SELVUR - help"));
    QCOMPARE(app->Form2().RichEdit1->document()->blockCount(), 11);
    CheckStartGeometry();
    QVERIFY(w->grab().save(ScreenshotDir() + "/main.png"));
  }

  // The panes stretch with the window; the start-up size gives the form's geometry back.
  void resizingStretchesThePanes() {
    w->resize(1100, 800);
    QCOMPARE(w->FileListBox1->geometry().right(), 1099);
    QVERIFY(w->DirectoryOutline1->width() > 177 && w->FileListBox1->width() > 473);
    QCOMPARE(w->DirectoryOutline1->geometry().bottom(), w->FileListBox1->geometry().bottom());
    QVERIFY(w->RichEdit1->height() > 79);
    QCOMPARE(w->RichEdit1->geometry().bottom() + 1, w->GroupBox1->y());
    QCOMPARE(w->Panel1->geometry(), QRect(4, 776, 1096, 24));
    QCOMPARE(w->RadioButton5->geometry().right() < w->GroupBox1->width(), true);
    QVERIFY(w->grab().save(ScreenshotDir() + "/resized.png"));
    w->resize(769, 536);
    CheckStartGeometry();
  }

  void fileListShowsFoldersSizesAndDates() {
    QDir(tmp.path()).mkdir("docs");
    Write("sized.txt", QByteArray(2048, 'x'));
    Write("tiny.txt", "x");
    w->FileListUpdate();
    QTreeWidgetItem* first = w->FileListBox1->topLevelItem(0);
    QCOMPARE(first->text(0), QString("docs"));
    QVERIFY(first->text(1).isEmpty());
    const auto found = w->FileListBox1->findItems("sized.txt", Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first()->text(1), QString("2.0 KiB"));
    QCOMPARE(w->FileListBox1->findItems("tiny.txt", Qt::MatchExactly).value(0, first)->text(1), QString("1 byte"));
    QVERIFY(!found.first()->text(2).isEmpty());
  }

  // A file that is not an archive clears the pane.
  void previewFillsAndClearsThePane() {
    Write("REPORT.ZIP", "PK....");
    Write("broken.zip", "not an archive");
    Write("notes.txt", "text");
    w->FileListUpdate();
    Click("REPORT.ZIP");
    QCOMPARE(PaneLines(w->RichEdit1), QStringList({Path("REPORT.ZIP"), "first.txt", "second.txt"}));
    QCOMPARE(w->Panel1->text(), QString("View file inside the archive"));
    Click("notes.txt");
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QVERIFY(w->Panel1->text().isEmpty());
    Click("broken.zip");
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    QCOMPARE(w->Panel1->text(), QString("View file inside the archive"));
  }

  // A right click on the pane offers the code page of the names shown; a
  // choice lists the archive again in that page.
  void paneMenuChoosesTheCodePage() {
    Write("REPORT.ZIP", "PK....");
    w->FileListUpdate();
    Click("REPORT.ZIP");
    emit w->RichEdit1->customContextMenuRequested(QPoint(5, 5));
    auto* cp866 = w->NamesMenu->findChild<QAction*>("NamePage_CP866");
    QVERIFY(cp866 != nullptr);
    QVERIFY(!cp866->isChecked());
    cp866->trigger();
    w->NamesMenu->hide();
    emit w->RichEdit1->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(w->NamesMenu->findChild<QAction*>("NamePage_CP866")->isChecked());
    w->NamesMenu->hide();
    QCOMPARE(PaneLines(w->RichEdit1), QStringList({Path("REPORT.ZIP"), "first.txt", "second.txt"}));
  }

  // The arrow keys move the preview too, and Extract takes the file previewed.
  void previewFollowsTheKeyboard() {
    Write("bla.jar", "PK");
    Write("bla.zip", "PK");
    w->FileListUpdate();
    Click("bla.jar");
    QCOMPARE(PaneLines(w->RichEdit1).first(), Path("bla.jar"));
    w->FileListBox1->setFocus();
    QTest::keyClick(w->FileListBox1, Qt::Key_Down);
    QCOMPARE(QString::fromStdString(w->SelectedFile()), Path("bla.zip"));
    QCOMPARE(PaneLines(w->RichEdit1).first(), Path("bla.zip"));
    ConfirmDestination(tmp.path());
    w->SpeedButton4->click();
    QCOMPARE(QString::fromStdString(engine.extracted.back().ArchiveFile), Path("bla.zip"));
    QDir::setCurrent(tmp.path());
    w->RichEdit1->clear();
    QTest::keyClick(w->FileListBox1, Qt::Key_Return);  // Enter previews the archive again
    QCOMPARE(PaneLines(w->RichEdit1).first(), Path("bla.zip"));
  }

  // A refused create ends the build with the reason and the window previews again.
  void failedCreateReturnsToNormal() {
    Write("one.txt", "1");
    w->FileListUpdate();
    w->RadioButton3->click();  // *.lha: no writer in this engine
    AnswerSave(*w, Path("packed"));
    w->SpeedButton1->click();
    QVERIFY(w->FileListBox1->Select("one.txt"));
    w->SpeedButton2->click();
    w->SpeedButton3->click();
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Panel1->text(), QString("LHA archives cannot be written yet"));
    QVERIFY(w->RichEdit1->toPlainText().isEmpty());
    Click("bla.jar");
    QCOMPARE(PaneLines(w->RichEdit1).first(), Path("bla.jar"));
    w->RadioButton1->click();
  }

  // Several files at once with Ctrl, and a folder, go into the build.
  void wholeBuild() {
    Write("two.txt", "2");
    QDir(tmp.path()).mkpath("docs/deep");
    w->FileListUpdate();
    AnswerSave(*w, Path("bundle.txt"));
    w->SpeedButton1->click();
    QCOMPARE(w->Controller().BuildMode, 2);
    Click("one.txt");
    Click("two.txt", Qt::ControlModifier);
    Click("docs", Qt::ControlModifier);
    w->SpeedButton2->click();
    QCOMPARE(PaneLines(w->RichEdit1), QStringList({"Archive name: :", Path("bundle.zip"), "Selected files:",
                                                   Path("docs"), Path("one.txt"), Path("two.txt")}));
    QVERIFY(w->grab().save(ScreenshotDir() + "/building.png"));
    engine.compressed.clear();
    w->SpeedButton3->click();
    QVERIFY(QFile::exists(Path("bundle.zip")));
    QCOMPARE(engine.compressed.size(), size_t(3));  // two file runs, then the folder
    QVERIFY(engine.compressed[2].RecurseDirs);
    QCOMPARE(w->Controller().BuildMode, 1);
    QCOMPARE(w->Panel1->text(), QString("Created bundle.zip with 3 files"));
    QVERIFY(w->FileListBox1->Select("bundle.zip"));  // the list was re-read
    QVERIFY(!w->ProgressBar1->isVisible());
    QVERIFY(w->SpeedButton3->isEnabled());
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

  // The highlighted folder receives the files, opened or not, and the dialog
  // shows its full path.
  void extractIntoTheHighlightedFolder() {
    QDir(tmp.path()).mkdir("fl");
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    TForm3& dlg = app->Form3();
    OnModal([&dlg, this](QWidget* modal) {
      QCOMPARE(modal, static_cast<QWidget*>(&dlg));
      dlg.SetListFolder(QDir(tmp.path()).canonicalPath().toStdString());
      const auto found = dlg.DirectoryListBox1->findItems("fl", Qt::MatchEndsWith);
      QCOMPARE(found.size(), 1);
      QTest::mouseClick(dlg.DirectoryListBox1->viewport(), Qt::LeftButton, {},
                        dlg.DirectoryListBox1->visualItemRect(found.first()).center());
      QCOMPARE(dlg.DestinationLabel->toolTip(), Path("fl"));
      QVERIFY(dlg.DestinationLabel->text().contains("fl"));
      dlg.grab().save(ScreenshotDir() + "/destination.png");
      dlg.BitBtn1->click();
    });
    w->SpeedButton4->click();
    QCOMPARE(QString::fromStdString(engine.extracted.back().ExtractDir), Path("fl"));
    QVERIFY(QFile::exists(Path("fl/extracted.txt")));
    QCOMPARE(w->Panel1->text(), QString("Extracted 1 file"));
    QDir::setCurrent(tmp.path());
  }

  void destinationDialogCancel() {
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    const size_t before = engine.extracted.size();
    OnModal([this](QWidget*) { app->Form3().BitBtn2->click(); });
    w->SpeedButton4->click();
    QCOMPARE(engine.extracted.size(), before);
  }

  // The bar follows the operation beside its Cancel button, and goes with it.
  void progressWithCancelButton() {
    bool seen = false;
    engine.onExtract = [&] {
      engine.Progress(40);
      seen = w->Panel1->text() == "Extracting bundle.zip ..." && w->ProgressBar1->isVisible() &&
             w->CancelButton->isVisible() && w->ProgressBar1->value() == 40 &&
             !w->SpeedButton3->isEnabled();
      w->grab().save(ScreenshotDir() + "/extracting.png");
      return ExtractResult{1, 0};
    };
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    ConfirmDestination(tmp.path());
    w->SpeedButton4->click();
    QDir::setCurrent(tmp.path());
    QVERIFY(seen);
    QVERIFY(!w->ProgressBar1->isVisible());
    QVERIFY(!w->CancelButton->isVisible());
  }

  // The engine's question reaches the password dialog; its answers go back.
  void passwordDialogAnswers() {
    std::vector<std::pair<PasswordAnswer, std::string>> got;
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    engine.onExtract = [&] {
      OnModal([&echo](QWidget* d) {
        auto* dlg = static_cast<PasswordDialog*>(d);
        echo = dlg->Field->echoMode();
        QTest::keyClicks(dlg->Field, "secret");
        dlg->grab().save(ScreenshotDir() + "/password.png");
        dlg->OkButton->click();
        SkipPasswords(3);
      });
      for (const char* entry : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        std::string password;
        got.emplace_back(engine.Ask(entry, password), password);
      }
      return ExtractResult{1, 3, 3};
    };
    QVERIFY(w->FileListBox1->Select("bundle.zip"));
    ConfirmDestination(tmp.path());
    w->SpeedButton4->click();
    QDir::setCurrent(tmp.path());
    QCOMPARE(got.size(), size_t(4));
    QCOMPARE(echo, QLineEdit::Password);
    QCOMPARE(got[0].first, PasswordAnswer::Ok);
    QCOMPARE(got[0].second, std::string("secret"));
    QCOMPARE(got[3].first, PasswordAnswer::Skip);
    QCOMPARE(got[3].second, std::string());
    QCOMPARE(w->Panel1->text(), QString("Extracted 1 of 4 files, 3 encrypted entries skipped"));
  }

  void droppedArchiveIsPreviewed() {
    w->RichEdit1->clear();
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(Path("REPORT.ZIP"))});
    QDragEnterEvent enter(QPoint(400, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    QDropEvent drop(QPointF(400, 200), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &drop);
    delete data;
    QCOMPARE(PaneLines(w->RichEdit1), QStringList({Path("REPORT.ZIP"), "first.txt", "second.txt"}));
  }

  void deleteKeyAsksFirst() {
    QVERIFY(w->FileListBox1->Select("notes.txt"));
    QString asked;
    OnModal([&asked](QWidget* box) {
      asked = static_cast<QMessageBox*>(box)->text();
      ClickButton(box, "No");
    });
    QTest::keyClick(w->FileListBox1, Qt::Key_Delete);
    QCOMPARE(asked, "Do you really want to delete the selected file \n" + Path("notes.txt") + "?");
    QVERIFY(QFile::exists(Path("notes.txt")));
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

  void ctrlQQuits() {
    QTest::keyClick(w->FileListBox1, Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(!w->isVisible());
  }

 private:
  QString Path(const QString& name) const { return QDir(QDir(tmp.path()).canonicalPath()).filePath(name); }
  void Write(const QString& name, const QByteArray& data) {
    QFile f(Path(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
  }
  void Click(const QString& name, Qt::KeyboardModifiers mods = {}) {
    const auto found = w->FileListBox1->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    QTest::mouseClick(w->FileListBox1->viewport(), Qt::LeftButton, mods,
                      w->FileListBox1->visualItemRect(found.first()).center());
  }
  // OK in the destination dialog with folder opened.
  void ConfirmDestination(const QString& folder) {
    TForm3& dlg = app->Form3();
    OnModal([&dlg, folder](QWidget*) {
      dlg.SetListFolder(folder.toStdString());
      dlg.BitBtn1->click();
    });
  }
  void CheckStartGeometry() {
    QCOMPARE(w->SpeedButton3->geometry(), QRect(0, 55, 110, 25));
    QCOMPARE(w->SpeedButton8->geometry(), QRect(0, 192, 110, 25));
    QCOMPARE(w->DriveComboBox1->geometry(), QRect(116, 5, 177, 19));
    QCOMPARE(w->DirectoryOutline1->geometry(), QRect(116, 24, 177, 369));
    QCOMPARE(w->FileListBox1->geometry(), QRect(296, 4, 473, 389));
    QCOMPARE(w->RichEdit1->geometry(), QRect(1, 392, 767, 79));
    QCOMPARE(w->GroupBox1->geometry(), QRect(4, 471, 765, 41));
    QCOMPARE(w->RadioButton2->geometry(), QRect(166, 16, 113, 17));
    QCOMPARE(w->Panel1->geometry(), QRect(4, 512, 765, 24));
  }

  QTemporaryDir tmp;
  StubEngine engine;
  std::unique_ptr<Application> app;
  TForm1* w = nullptr;
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
