// What the main window's controller asks of the screen. Every operation is a
// thin call on the toolkit; the controller holds all the logic.
#pragma once

#include <string>
#include <vector>

#include "shell/ArchiveEngine.h"

namespace shell {

enum class PaneColor { Black, Blue };

class IMainView {
 public:
  virtual ~IMainView() = default;

  // File list (FileListBox1): the folder's subfolders and files. Several
  // entries can be selected (Ctrl and Shift); SelectedFile is the one the
  // selection last moved to.
  virtual std::string SelectedFile() = 0;  // full path, "" when nothing is selected
  virtual std::vector<std::string> SelectedFiles() = 0;  // every selected path, in list order
  virtual std::string FileListFolder() = 0;
  virtual void SetFileListFolder(const std::string& folder) = 0;
  virtual void FileListUpdate() = 0;  // re-read the folder's contents
  virtual void FileListRepaint() = 0;

  // Folder tree (DirectoryOutline1).
  virtual void SetTreeDrive(const std::string& drive) = 0;
  virtual std::string TreeFolder() = 0;
  virtual void SetTreeFolder(const std::string& folder) = 0;  // a folder of the tree's drive becomes current
  virtual void TreeUpdate() = 0;
  virtual void TreeRepaint() = 0;

  // Drive selector (DriveComboBox1): the mount point shown.
  virtual std::string SelectedDrive() = 0;

  // Text pane (RichEdit1).
  virtual void PaneClear() = 0;
  virtual void PaneAdd(const std::string& line) = 0;
  virtual void PaneAddLines(const std::vector<std::string>& lines) = 0;
  virtual void PaneSetFirstIndent(int indent) = 0;
  virtual void PaneSetFontSize(int size) = 0;
  virtual void PaneSetFontColor(PaneColor color) = 0;
  virtual void PaneSetFontName(const std::string& face) = 0;
  virtual void PaneRepaint() = 0;
  // The code page the pane's archive names are read in, for the pane's menu
  // of pages (chosen: picked there, else guessed for the archive).
  virtual void ShowNamePage(const std::string& page, bool chosen) = 0;

  // Status line (Panel1).
  virtual void SetStatus(const std::string& text) = 0;

  // A running engine operation: the commands that would start another wait,
  // and the progress bar with its Cancel button shows the whole operation.
  virtual void SetBusy(bool busy) = 0;
  virtual void ShowProgress(int percent) = 0;  // 0..100

  // The password of an encrypted entry: a masked field with OK, "Skip" and
  // "Cancel". again: the password given last for this entry was wrong.
  virtual PasswordAnswer AskPassword(const std::string& entry, bool again, std::string& password) = 0;

  // Format buttons (RadioButton1..5).
  virtual WriterKind SelectedFormat() = 0;

  // The plain message box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // Buttons "Yes" and "No"; true only for "Yes" (closing the box is "No").
  virtual bool ConfirmYesNo(const std::string& question) = 0;

  // Save-file dialog (SaveDialog1); title and name keep their last values.
  virtual void SetSaveTitle(const std::string& title) = 0;
  virtual void SetSaveFileName(const std::string& name) = 0;
  virtual bool RunSaveDialog(std::string& chosen) = 0;

  // The destination dialog, modal (its OK reaches the controller's
  // DestinationConfirmed); the help window, modeless.
  virtual void ShowDestinationDialog() = 0;
  virtual void ShowHelp() = 0;

  // Shell.
  virtual void OpenDocument(const std::string& path, const std::string& workFolder) = 0;
  virtual void ShowProperties(const std::string& path) = 0;
  virtual void OpenUrl(const std::string& url) = 0;

  virtual void Terminate() = 0;
};

}  // namespace shell
