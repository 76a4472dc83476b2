// The browsing controls of the main window: the folder tree of one drive
// and the file list of one folder.
#pragma once

#include <QListWidget>
#include <QTreeWidget>
#include <string>

namespace shell::qt {

// Folders of one drive (a mount point), filled as branches are opened.
class FolderTree : public QTreeWidget {
  Q_OBJECT
 public:
  explicit FolderTree(QWidget* parent = nullptr);
  // Shows the folders of another drive; the same drive changes nothing.
  void SetDrive(const std::string& root);
  const std::string& Drive() const { return root_; }
  // Opens the branches down to folder (which must lie on the drive).
  void SetFolder(const std::string& folder);
  std::string Folder() const;

 signals:
  void folderChanged();

 private:
  void Populate(QTreeWidgetItem* item);
  QTreeWidgetItem* AddFolder(QTreeWidgetItem* parent, const QString& name, const QString& path);
  std::string root_;
};

// Files of one folder, single selection, with the desktop's icons.
class FileList : public QListWidget {
  Q_OBJECT
 public:
  explicit FileList(QWidget* parent = nullptr);
  void SetFolder(const std::string& folder);
  const std::string& Folder() const { return folder_; }
  // Re-reads the folder, keeping the selection when the file is still there.
  void Reload();
  std::string SelectedPath() const;
  // Selects a file by name (tests and keyboard users); false when absent.
  bool Select(const std::string& name);

 private:
  std::string folder_;
};

}  // namespace shell::qt
