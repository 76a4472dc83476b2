#include "shell/qt/FolderViews.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QDateTime>
#include <QLocale>
#include <QMouseEvent>
#include <algorithm>

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

FileList::FileList(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({"Name", "Size", "Modified"});
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setIconSize(QSize(16, 16));
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
  header()->resizeSection(SizeColumn, 80);
  header()->resizeSection(DateColumn, 120);
  connect(this, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
  connect(this, &QTreeWidget::currentItemChanged, this, [this] { SelectionChanged(); });
  connect(this, &QTreeWidget::itemClicked, this, [this] {
    if (!pressMoved_) emit selectionMoved();
  });
}

void FileList::SelectionChanged() {
  const std::string path = SelectedPath();
  if (path == announced_) return;
  announced_ = path;
  pressMoved_ = true;
  emit selectionMoved();
}

void FileList::mousePressEvent(QMouseEvent* event) {
  pressMoved_ = false;
  QTreeWidget::mousePressEvent(event);
}

void FileList::SetFolder(const std::string& folder) {
  if (folder == folder_) return;
  folder_ = folder;
  const bool blocked = blockSignals(true);
  clear();
  blockSignals(blocked);
  Reload();
}

void FileList::Reload() {
  const std::vector<std::string> keep = SelectedPaths();
  const std::string keepCurrent = SelectedPath();
  const bool blocked = blockSignals(true);
  clear();
  static QFileIconProvider provider;
  const QLocale locale;
  QDir dir(Q(folder_));
  const QFileInfoList entries = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Files | QDir::System,
                                                  QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
  for (const QFileInfo& fi : entries) {
    auto* item = new QTreeWidgetItem(this);
    const std::string path = fi.absoluteFilePath().toStdString();
    item->setText(NameColumn, fi.fileName());
    item->setIcon(NameColumn, fi.isDir() ? FolderIcon() : provider.icon(fi));
    item->setData(NameColumn, kPathRole, fi.absoluteFilePath());
    if (!fi.isDir()) {
      const qint64 size = fi.size();
      item->setText(SizeColumn, size == 1   ? QString("1 byte")
                                : size < 1024 ? QString("%1 bytes").arg(size)
                                              : locale.formattedDataSize(size, 1));
      item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setText(DateColumn, fi.lastModified().toString("yyyy-MM-dd HH:mm"));
    if (std::find(keep.begin(), keep.end(), path) != keep.end()) item->setSelected(true);
    if (path == keepCurrent) setCurrentItem(item, NameColumn, QItemSelectionModel::NoUpdate);
  }
  blockSignals(blocked);
  announced_ = SelectedPath();
}

std::string FileList::SelectedPath() const {
  const QTreeWidgetItem* cur = currentItem();
  if (cur && cur->isSelected()) return cur->data(NameColumn, kPathRole).toString().toStdString();
  const QList<QTreeWidgetItem*> sel = selectedItems();
  if (sel.isEmpty()) return {};
  return sel.first()->data(NameColumn, kPathRole).toString().toStdString();
}

std::vector<std::string> FileList::SelectedPaths() const {
  std::vector<std::string> paths;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = topLevelItem(i);
    if (item->isSelected()) paths.push_back(item->data(NameColumn, kPathRole).toString().toStdString());
  }
  return paths;
}

bool FileList::Select(const std::string& name) {
  const QList<QTreeWidgetItem*> found = findItems(Q(name), Qt::MatchExactly, NameColumn);
  if (found.isEmpty()) return false;
  setCurrentItem(found.first(), NameColumn, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  return true;
}

}  // namespace shell::qt
