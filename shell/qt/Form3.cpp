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
  connect(BitBtn1, &QPushButton::clicked, this, [this] { controller_.BitBtn1Click(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { controller_.BitBtn2Click(); });
  // A folder is opened by double-clicking it.
  connect(DirectoryListBox1, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    SetListFolder(item->data(kPathRole).toString().toStdString());
  });
  controller_.FormCreate(treeFolder);
}

std::string TForm3::ListFolder() { return folder_; }

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
