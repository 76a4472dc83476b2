#include "shell/qt/Form1.h"

#include <QApplication>
#include <algorithm>
#include <iterator>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QResizeEvent>
#include <QUrl>
#include <cmath>
#include <QTextBlock>
#include <QTextCursor>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/shellops.h"
#include "shell/qt/AppIcon.h"
#include "shell/qt/Form2.h"
#include "shell/qt/Form3.h"
#include "shell/qt/CreatePasswordDialog.h"
#include "shell/qt/PasswordDialog.h"
#include "shell/qt/PropertiesDialog.h"

namespace shell::qt {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The form's size at start-up, and the least it can be made.
constexpr int kStartWidth = 769, kStartHeight = 536;
constexpr int kMinWidth = 620, kMinHeight = 440;

// The local paths among dropped URLs; empty when any is not a local file.
std::vector<std::string> LocalPaths(const QMimeData* data) {
  std::vector<std::string> paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    QString path = url.toLocalFile();
    if (path.size() > 1 && path.endsWith('/')) path.chop(1);
    paths.push_back(path.toStdString());
  }
  return paths;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption, const char* hint, int top) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setGeometry(0, top, 110, 25);
  b->setFocusPolicy(Qt::NoFocus);  // speed buttons never take the focus
  return b;
}

}  // namespace

TForm1::TForm1(IArchiveEngine& engine, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      engine_(engine),
      controller_(*this, engine) {
  setObjectName("Form1");
  setWindowTitle("ZEFA ARCHIVER  v. 1.0");
  QFont f("Arial");
  f.setPixelSize(11);
  setFont(f);
  setWindowIcon(AppIcon());
  setMinimumSize(kMinWidth, kMinHeight);
  setAcceptDrops(true);
  BuildControls();
  resize(kStartWidth, kStartHeight);
  LayOut();
  FillDrives();
  // The folder the program starts in is the one the window shows.
  const std::string cwd = plat::GetCurrentDir();
  DirectoryOutline1->SetDrive(SelectedDrive());
  DirectoryOutline1->SetFolder(cwd);
  FileListBox1->SetFolder(DirectoryOutline1->Folder());
  // Key presses reach the window before its controls.
  qApp->installEventFilter(this);
  controller_.tworzenie();
}

TForm1::~TForm1() { qApp->removeEventFilter(this); }

void TForm1::BuildControls() {
  SpeedButton1 = MakeButton(this, "SpeedButton1", "New archive", "Create a new archive", 5);
  SpeedButton2 = MakeButton(this, "SpeedButton2", "Add  file    ", "Adding files to an archive", 30);
  SpeedButton3 = MakeButton(this, "SpeedButton3", "Create archive", "Create a new archive", 55);
  SpeedButton4 = MakeButton(this, "SpeedButton4", "Extract ", "Extract files from the archive ", 80);
  SpeedButton5 = MakeButton(this, "SpeedButton5", "Help", "Help", 105);
  SpeedButton6 = MakeButton(this, "SpeedButton6", "Quit", "Quit", 130);
  SpeedButton7 = MakeButton(this, "SpeedButton7", "Password", "Encrypt the archives created from now on", 155);
  SpeedButton8 = MakeButton(this, "SpeedButton8", "ZEFA SOFTWARE", "", 192);
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { controller_.SpeedButton1Click(); });
  connect(SpeedButton2, &QPushButton::clicked, this, [this] { controller_.SpeedButton2Click(); });
  connect(SpeedButton3, &QPushButton::clicked, this, [this] { controller_.SpeedButton3Click(); });
  connect(SpeedButton4, &QPushButton::clicked, this, [this] { controller_.SpeedButton4Click(); });
  connect(SpeedButton5, &QPushButton::clicked, this, [this] { controller_.SpeedButton5Click(); });
  connect(SpeedButton6, &QPushButton::clicked, this, [this] { controller_.SpeedButton6Click(); });
  connect(SpeedButton7, &QPushButton::clicked, this, [this] {
    std::string password;
    int cipher = createCipher_;
    CreatePasswordDialog dialog(cipher, this);
    if (!dialog.Ask(password, cipher)) return;
    createCipher_ = cipher;
    controller_.SetCreatePassword(password, cipher);
  });
  connect(SpeedButton8, &QPushButton::clicked, this, [this] { controller_.SpeedButton8Click(); });

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->resize(177, 19);
  DirectoryOutline1 = new FolderTree(this);
  DirectoryOutline1->setObjectName("DirectoryOutline1");
  DirectoryOutline1->setContextMenuPolicy(Qt::NoContextMenu);
  FileListBox1 = new FileList(this);
  FileListBox1->setObjectName("FileListBox1");
  FileListBox1->setContextMenuPolicy(Qt::NoContextMenu);
  connect(DriveComboBox1, &QComboBox::activated, this, [this](int) { controller_.zm2(); });
  connect(DirectoryOutline1, &FolderTree::folderChanged, this, [this] { controller_.zmiana1(); });
  // The preview follows the selection, moved by the mouse or the keys.
  connect(FileListBox1, &FileList::selectionMoved, this, [this] { controller_.wyswietl(); });
  connect(FileListBox1, &QTreeWidget::itemDoubleClicked, this, [this] { controller_.otw(); });

  RichEdit1 = new QTextEdit(this);
  RichEdit1->setObjectName("RichEdit1");
  RichEdit1->setReadOnly(true);
  RichEdit1->setAcceptDrops(false);  // drops go to the window
  RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RichEdit1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(RichEdit1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) { PaneMenu(at); });
  RichEdit1->setPlainText("RichEdit1");  // the design-time text, cleared at start-up

  GroupBox1 = new QGroupBox("Archive format ", this);
  GroupBox1->setObjectName("GroupBox1");
  formats_ = new QButtonGroup(this);
  QRadioButton** radios[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5};
  const int buttons = std::min<int>(FormatButtons().size(), std::size(radios));
  for (int i = 0; i < buttons; ++i) {
    auto* r = new QRadioButton(Q("*" + FormatExtension(FormatButtons()[i])), GroupBox1);
    r->setObjectName(QString("RadioButton%1").arg(i + 1));
    r->resize(113, 17);
    formats_->addButton(r, i);
    *radios[i] = r;
  }
  RadioButton1->setChecked(true);

  Panel1 = new QLabel(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont bold = font();
  bold.setBold(true);
  Panel1->setFont(bold);
  ProgressBar1 = new QProgressBar(Panel1);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->resize(200, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->hide();
  CancelButton = new QPushButton("Cancel", Panel1);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setToolTip("Stop the running operation");
  CancelButton->resize(60, 20);
  CancelButton->setFocusPolicy(Qt::NoFocus);
  CancelButton->hide();
  connect(CancelButton, &QPushButton::clicked, this, [this] { controller_.CancelClick(); });

  NamesMenu = new QMenu(this);
  NamesMenu->setObjectName("NamesMenu");
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  PopupMenu1->addAction("Open file", this, [this] { controller_.Otwrzzbir1Click(); })->setObjectName("Otwrzzbir1");
  PopupMenu1->addAction("Delete file", this, [this] { controller_.Przenie1Click(); })->setObjectName("Przenie1");
  PopupMenu1->addAction("Rename file", this, [this] { controller_.Zmienazwzbioru1Click(); })
      ->setObjectName("Zmienazwzbioru1");
  PopupMenu1->addAction("Copy file", this, [this] { controller_.Kopijzbiory1Click(); })->setObjectName("Kopijzbiory1");
  PopupMenu1->addAction("Properties...", this, [this] { controller_.Properties1Click(); })
      ->setObjectName("Properties1");

  SaveDialog1 = new QFileDialog(this);
  SaveDialog1->setObjectName("SaveDialog1");
  SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
  SaveDialog1->setFileMode(QFileDialog::AnyFile);
  // The commands ask their own overwrite questions.
  SaveDialog1->setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
}

void TForm1::FillDrives() {
  const std::string current = plat::DriveOfPath(plat::GetCurrentDir());
  bool haveCurrent = false;
  for (const plat::DriveInfo& d : plat::ListDrives()) {
    DriveComboBox1->addItem(Q(d.root), Q(d.root));
    if (d.root == current) haveCurrent = true;
  }
  if (!haveCurrent && !current.empty()) DriveComboBox1->addItem(Q(current), Q(current));
  const int i = DriveComboBox1->findData(Q(current));
  if (i >= 0) DriveComboBox1->setCurrentIndex(i);
}

void TForm1::LayOut() {
  const int w = width(), h = height();
  const int treeWidth = static_cast<int>(std::lround((w - 119) * 177.0 / 650.0));
  const int listLeft = 116 + treeWidth + 3;
  const int browserBottom = 393 + (h - kStartHeight) / 2;
  DriveComboBox1->setGeometry(116, 5, treeWidth, 19);
  DirectoryOutline1->setGeometry(116, 24, treeWidth, browserBottom - 24);
  FileListBox1->setGeometry(listLeft, 4, w - listLeft, browserBottom - 4);
  RichEdit1->setGeometry(1, browserBottom - 1, w - 2, h - 65 - (browserBottom - 1));
  GroupBox1->setGeometry(4, h - 65, w - 4, 41);
  const int spacing = static_cast<int>(std::lround(150.0 * (w - 4) / 765.0));
  for (QAbstractButton* b : formats_->buttons()) b->move(16 + formats_->id(b) * spacing, 16);
  Panel1->setGeometry(4, h - 24, w - 4, 24);
  CancelButton->move(Panel1->width() - 5 - CancelButton->width(), 2);
  ProgressBar1->move(CancelButton->x() - 4 - ProgressBar1->width(), 4);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TForm1::closeEvent(QCloseEvent* event) {
  // The operation under way is told to stop; it unwinds once the window is gone.
  if (controller_.Busy()) controller_.CancelClick();
  event->accept();
  // Closing the main window ends the program, the help window with it.
  QCoreApplication::quit();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalPaths(event->mimeData()).empty() && !controller_.Busy()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const std::vector<std::string> paths = LocalPaths(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  controller_.FilesDropped(paths);
}

void TForm1::contextMenuEvent(QContextMenuEvent* event) { PopupMenu1->popup(event->globalPos()); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
      controller_.FormKeyDown(kKeyEscape);
      return true;
    }
    if (key->key() == Qt::Key_Q && ctrl) {
      controller_.FormKeyDown(kKeyQ, true);
      return true;
    }
    // Return and Delete act on the file list's selection when it has the focus.
    const bool inList = watched == FileListBox1 || watched == FileListBox1->viewport();
    if (inList && !ctrl && !key->isAutoRepeat()) {
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        controller_.FormKeyDown(kKeyReturn);
        return true;
      }
      if (key->key() == Qt::Key_Delete) {
        controller_.FormKeyDown(kKeyDelete);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

std::string TForm1::SelectedFile() { return FileListBox1->SelectedPath(); }
std::vector<std::string> TForm1::SelectedFiles() { return FileListBox1->SelectedPaths(); }
void TForm1::SetTreeFolder(const std::string& folder) { DirectoryOutline1->SetFolder(folder); }

void TForm1::SetBusy(bool busy) {
  for (QWidget* c : std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton7,
                                                   GroupBox1})
    c->setEnabled(!busy);
  if (!busy) {
    ProgressBar1->hide();
    CancelButton->hide();
    ProgressBar1->setValue(0);
  }
}

void TForm1::ShowProgress(int percent) {
  ProgressBar1->setValue(percent);
  ProgressBar1->show();
  CancelButton->show();
}

PasswordAnswer TForm1::AskPassword(const std::string& entry, bool again, std::string& password) {
  PasswordDialog dialog(entry, again, this);
  return dialog.Ask(password);
}
std::string TForm1::FileListFolder() { return FileListBox1->Folder(); }
void TForm1::SetFileListFolder(const std::string& folder) { FileListBox1->SetFolder(folder); }
void TForm1::FileListUpdate() { FileListBox1->Reload(); }
void TForm1::FileListRepaint() { FileListBox1->viewport()->repaint(); }
void TForm1::SetTreeDrive(const std::string& drive) { DirectoryOutline1->SetDrive(drive); }
std::string TForm1::TreeFolder() { return DirectoryOutline1->Folder(); }
void TForm1::TreeUpdate() { DirectoryOutline1->viewport()->update(); }
void TForm1::TreeRepaint() { DirectoryOutline1->viewport()->repaint(); }
std::string TForm1::SelectedDrive() { return DriveComboBox1->currentData().toString().toStdString(); }

void TForm1::PaneClear() { RichEdit1->clear(); }

void TForm1::PaneAdd(const std::string& line) {
  QTextCursor c(RichEdit1->document());
  c.movePosition(QTextCursor::End);
  QTextBlockFormat block;
  block.setTextIndent(firstIndent_);
  QTextCharFormat chars;
  chars.setFontPointSize(fontSize_);
  chars.setForeground(fontColor_);
  chars.setFontFamilies({fontName_});
  if (RichEdit1->document()->isEmpty()) {
    c.setBlockFormat(block);
    c.setCharFormat(chars);
  } else {
    c.insertBlock(block, chars);
  }
  c.insertText(Q(line), chars);
}

void TForm1::PaneAddLines(const std::vector<std::string>& lines) {
  for (const auto& l : lines) PaneAdd(l);
}

void TForm1::PaneSetFirstIndent(int indent) { firstIndent_ = indent; }
void TForm1::PaneSetFontSize(int size) { fontSize_ = size; }
void TForm1::PaneSetFontColor(PaneColor color) { fontColor_ = color == PaneColor::Blue ? Qt::blue : Qt::black; }
void TForm1::PaneSetFontName(const std::string& face) { fontName_ = Q(face); }
void TForm1::PaneRepaint() { RichEdit1->viewport()->repaint(); }

void TForm1::ShowNamePage(const std::string& page, bool chosen) {
  namePage_ = page;
  namePageChosen_ = chosen;
}

void TForm1::PaneMenu(const QPoint& at) {
  const QPoint where = RichEdit1->viewport()->mapToGlobal(at);
  if (namePage_.empty() || RichEdit1->document()->isEmpty()) {
    PopupMenu1->popup(where);
    return;
  }
  NamesMenu->clear();
  QAction* guessed = NamesMenu->addAction(
      QString::fromStdString("Names: as guessed" + (namePageChosen_ ? std::string() : " (" + namePage_ + ")")), this,
      [this] { controller_.NamePageChosen(std::string()); });
  guessed->setCheckable(true);
  guessed->setChecked(!namePageChosen_);
  NamesMenu->addSeparator();
  for (const std::string& page : TForm1Controller::NamePages()) {
    QAction* a = NamesMenu->addAction(QString::fromStdString(page), this,
                                      [this, page] { controller_.NamePageChosen(page); });
    a->setObjectName(QString::fromStdString("NamePage_" + page));
    a->setCheckable(true);
    a->setChecked(namePageChosen_ && page == namePage_);
  }
  NamesMenu->popup(where);
}
void TForm1::SetStatus(const std::string& text) { Panel1->setText(Q(text)); }

WriterKind TForm1::SelectedFormat() {
  const int id = formats_->checkedId();
  return FormatButtons()[id < 0 ? 0 : id];
}

void TForm1::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Q(plat::ApplicationTitle()), Q(text), QMessageBox::Ok, this);
  box.exec();
}

bool TForm1::ConfirmYesNo(const std::string& question) {
  QMessageBox box(QMessageBox::Question, Q(plat::ApplicationTitle()), Q(question), QMessageBox::NoButton, this);
  QPushButton* yes = box.addButton("Yes", QMessageBox::YesRole);
  QPushButton* no = box.addButton("No", QMessageBox::NoRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

void TForm1::SetSaveTitle(const std::string& title) { SaveDialog1->setWindowTitle(Q(title)); }

void TForm1::SetSaveFileName(const std::string& name) { SaveDialog1->selectFile(Q(name)); }

bool TForm1::RunSaveDialog(std::string& chosen) {
  if (SaveDialog1->directory().absolutePath().isEmpty() || SaveDialog1->selectedFiles().isEmpty())
    SaveDialog1->setDirectory(Q(FileListFolder()));
  if (SaveDialog1->exec() != QDialog::Accepted) return false;
  const QStringList files = SaveDialog1->selectedFiles();
  if (files.isEmpty()) return false;
  chosen = files.first().toStdString();
  return true;
}

void TForm1::ShowDestinationDialog() {
  if (destination_) destination_->exec();
}

void TForm1::ShowHelp() {
  if (!help_) return;
  help_->show();
  help_->raise();
  help_->activateWindow();
}

void TForm1::OpenDocument(const std::string& path, const std::string& workFolder) {
  (void)workFolder;  // the desktop opener starts programs in their own folder
  plat::OpenDocument(path);  // errors of the desktop are not reported
}

void TForm1::ShowProperties(const std::string& path) {
  PropertiesDialog dialog(path, this);
  dialog.exec();
}

void TForm1::OpenUrl(const std::string& url) { plat::OpenDocument(url); }

void TForm1::Terminate() {
  close();
  QCoreApplication::quit();
}

}  // namespace shell::qt
