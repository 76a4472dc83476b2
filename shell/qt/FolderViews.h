// The browsing controls of the main window: the folder tree of one drive
// and the file list of one folder.
#pragma once

#include <QTreeWidget>
#include <string>
#include <vector>

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

// The entries of one folder: its subfolders, then its files, each with its
// size and date. Several entries can be selected with Ctrl and Shift.
class FileList : public QTreeWidget {
  Q_OBJECT
 public:
  enum Column { NameColumn, SizeColumn, DateColumn };

  explicit FileList(QWidget* parent = nullptr);
  void SetFolder(const std::string& folder);
  const std::string& Folder() const { return folder_; }
  // Re-reads the folder, keeping the selection where the entries are still there.
  void Reload();
  // The entry the selection last moved to (the current one when it is
  // selected, else the first selected); "" when nothing is selected.
  std::string SelectedPath() const;
  std::vector<std::string> SelectedPaths() const;  // in list order
  // Selects one entry by name (tests and keyboard users); false when absent.
  bool Select(const std::string& name);

 signals:
  // The selection moved to another entry (mouse, arrow keys or Select), or
  // a click landed on the entry already selected.
  void selectionMoved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void SelectionChanged();
  std::string folder_;
  std::string announced_;    // the entry selectionMoved was last sent for
  bool pressMoved_ = false;  // the mouse press under way moved the selection
};

}  // namespace shell::qt
