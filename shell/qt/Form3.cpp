#include "shell/qt/Form3.h"

#include <QDir>
#include <QFileIconProvider>
#include <QMessageBox>

#include "platform/hooks.h"

namespace shell::qt {

namespace {
constexpr int kPathRole = Qt::UserRole;
}

TForm3::TForm3(bool& confirmed, const std::string& treeFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), controller_(*this, confirmed) {
  setObjectName("Form3");
  setWindowTitle("Extract - destination folder ");
  setFont(QFont("Arial"));
  setFixedSize(369, 299);
  setModal(true);
  DirectoryListBox1 = new QListWidget(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setGeometry(0, 0, 193, 265);
  BitBtn1 = new QPushButton("OK", this);
  BitBtn1->setObjectName("BitBtn1");
  BitBtn1->setGeometry(240, 8, 113, 25);
  BitBtn2 = new QPushButton("Cancel", this);
  BitBtn2->setObjectName("BitBtn2");
  BitBtn2->setGeometry(240, 36, 113, 25);
  BitBtn1->setDefault(true);
  // The destination, in the column under the buttons: the folder highlighted
  // in the list, opened or not.
  auto* caption = new QLabel("Extract to:", this);
  caption->setGeometry(200, 72, 161, 16);
  DestinationLabel = new QLabel(this);
  DestinationLabel->setObjectName("DestinationLabel");
  DestinationLabel->setGeometry(200, 90, 161, 175);
  DestinationLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  DestinationLabel->setWordWrap(true);
  DestinationLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QFont bold = DestinationLabel->font();
  bold.setBold(true);
  DestinationLabel->setFont(bold);
  connect(DirectoryListBox1, &QListWidget::currentItemChanged, this, [this] { controller_.SelectionChanged(); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { controller_.BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { controller_.BitBtn2Click(); });
  // A folder is opened by double-clicking it.
  connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    SetListFolder(item->data(kPathRole).toString().toStdString());
  });
  controller_.FormCreate(treeFolder);
}

std::string TForm3::ListFolder() { return folder_; }

std::string TForm3::SelectedFolder() {
  const QListWidgetItem* item = DirectoryListBox1->currentItem();
  return item ? item->data(kPathRole).toString().toStdString() : std::string();
}

void TForm3::ShowDestination(const std::string& path) {
  // Long paths wrap after any "/", not only at blanks.
  QString text = QString::fromStdString(path);
  text.replace('/', QString("/") + QChar(0x200B));
  DestinationLabel->setText(text);
  DestinationLabel->setToolTip(QString::fromStdString(path));
}

void TForm3::SetListFolder(const std::string& folder) {
  folder_ = QDir::cleanPath(QString::fromStdString(folder)).toStdString();
  DirectoryListBox1->clear();
  static QFileIconProvider provider;
  const QIcon icon = provider.icon(QFileIconProvider::Folder);
  // The open folders from the root down to the shown one, then its sub-folders.
  QStringList parts = QString::fromStdString(folder_).split('/', Qt::SkipEmptyParts);
  QString path = "/";
  int depth = 0;
  auto add = [&](const QString& name, const QString& full, int indent) {
    auto* item = new QListWidgetItem(icon, QString(indent * 2, ' ') + name, DirectoryListBox1);
    item->setData(kPathRole, full);
    return item;
  };
  QListWidgetItem* current = add("/", "/", depth++);
  for (const QString& p : parts) {
    path = QDir(path).filePath(p);
    current = add(p, path, depth++);
  }
  const QStringList subs = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& s : subs) add(s, QDir(path).filePath(s), depth);
  DirectoryListBox1->setCurrentItem(current);
}

void TForm3::CloseDialog() { done(QDialog::Accepted); }

void TForm3::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(plat::ApplicationTitle()),
                  QString::fromStdString(text), QMessageBox::Ok, this);
  box.exec();
}

}  // namespace shell::qt
