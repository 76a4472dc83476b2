#include "shell/qt/FolderViews.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>

namespace shell::qt {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString Q(const std::string& s) { return QString::fromStdString(s); }

QIcon FolderIcon() {
  static QFileIconProvider provider;
  return provider.icon(QFileIconProvider::Folder);
}

}  // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(1);
  header()->hide();
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Populate(item); });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* cur, QTreeWidgetItem*) {
    if (cur) emit folderChanged();
  });
}

QTreeWidgetItem* FolderTree::AddFolder(QTreeWidgetItem* parent, const QString& name, const QString& path) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
  item->setText(0, name);
  item->setIcon(0, FolderIcon());
  item->setData(0, kPathRole, path);
  item->setData(0, kPathRole + 1, false);  // children not read yet
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

void FolderTree::Populate(QTreeWidgetItem* item) {
  if (item->data(0, kPathRole + 1).toBool()) return;
  item->setData(0, kPathRole + 1, true);
  const QString path = item->data(0, kPathRole).toString();
  const QStringList subs = QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& name : subs) AddFolder(item, name, QDir(path).filePath(name));
  if (subs.isEmpty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void FolderTree::SetDrive(const std::string& root) {
  if (root == root_ && topLevelItemCount() > 0) return;
  root_ = root;
  const bool blocked = blockSignals(true);
  clear();
  QString r = Q(root);
  if (r.size() > 1 && r.endsWith('/')) r.chop(1);
  QTreeWidgetItem* top = AddFolder(nullptr, Q(root), r.isEmpty() ? "/" : r);
  Populate(top);
  top->setExpanded(true);
  setCurrentItem(top);
  blockSignals(blocked);
}

void FolderTree::SetFolder(const std::string& folder) {
  QTreeWidgetItem* item = topLevelItem(0);
  if (!item) return;
  const QString target = QDir::cleanPath(Q(folder));
  const QString base = item->data(0, kPathRole).toString();
  if (!(target == base || target.startsWith(base == "/" ? base : base + "/"))) return;
  QString rest = target.mid(base.size());
  const QStringList parts = rest.split('/', Qt::SkipEmptyParts);
  const bool blocked = blockSignals(true);
  for (const QString& part : parts) {
    Populate(item);
    item->setExpanded(true);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < item->childCount(); ++i) {
      if (item->child(i)->text(0) == part) next = item->child(i);
    }
    if (!next) break;
    item = next;
  }
  setCurrentItem(item);
  scrollToItem(item);
  blockSignals(blocked);
}

std::string FolderTree::Folder() const {
  const QTreeWidgetItem* item = currentItem();
  if (!item) item = topLevelItem(0);
  return item ? item->data(0, kPathRole).toString().toStdString() : std::string();
}

FileList::FileList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setIconSize(QSize(16, 16));
  setUniformItemSizes(true);
}

void FileList::SetFolder(const std::string& folder) {
  if (folder == folder_) return;
  folder_ = folder;
  clear();
  Reload();
}

void FileList::Reload() {
  const std::string keep = SelectedPath();
  clear();
  static QFileIconProvider provider;
  QDir dir(Q(folder_));
  const QFileInfoList files = dir.entryInfoList(QDir::Files | QDir::System, QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& fi : files) {
    auto* item = new QListWidgetItem(provider.icon(fi), fi.fileName(), this);
    item->setData(kPathRole, fi.absoluteFilePath());
    if (!keep.empty() && fi.absoluteFilePath().toStdString() == keep) setCurrentItem(item);
  }
}

std::string FileList::SelectedPath() const {
  const QList<QListWidgetItem*> sel = selectedItems();
  if (sel.isEmpty()) return {};
  return sel.first()->data(kPathRole).toString().toStdString();
}

bool FileList::Select(const std::string& name) {
  const QList<QListWidgetItem*> found = findItems(Q(name), Qt::MatchExactly);
  if (found.isEmpty()) return false;
  setCurrentItem(found.first());
  return true;
}

}  // namespace shell::qt
