// The context menu of the main window: open, delete, rename, copy and show
// the properties of the file selected in the file list.
#include "platform/files.h"
#include "platform/shellops.h"
#include "shell/FileOps.h"
#include "shell/Unit1.h"

namespace shell {

void TForm1Controller::Otwrzzbir1Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  OpenWithDefault(path);
}

void TForm1Controller::Przenie1Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  if (!view_.ConfirmYesNo("Do you really want to delete the selected file \n" + path + "?")) return;
  if (!plat::DeleteToTrash(path)) {
    view_.ShowMessage("Error !!!");
    return;
  }
  view_.FileListUpdate();
}

void TForm1Controller::Zmienazwzbioru1Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  view_.SetSaveTitle("Rename  " + path);
  std::string target;
  if (!view_.RunSaveDialog(target) || target.empty()) return;
  if (SameFile(path, target)) return;  // nothing to rename
  // rename(2) would replace another file without a word.
  if (plat::FileExists(target) && !ConfirmReplace(target)) return;
  if (!plat::RenameFile(path, target)) view_.ShowMessage(plat::ErrorText(plat::LastError()));
  view_.FileListUpdate();
}

void TForm1Controller::Kopijzbiory1Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  view_.SetSaveTitle("Copy " + path);
  view_.SetSaveFileName(path);
  std::string target;
  if (!view_.RunSaveDialog(target) || target.empty()) return;
  // Creating the target would truncate the source before a byte is read.
  if (SameFile(path, target)) {
    view_.ShowMessage("A file cannot be copied onto itself");
    return;
  }
  if (plat::FileExists(target) && !ConfirmReplace(target)) return;
  const int err = CopyFileInBlocks(path, target);
  if (err != 0) view_.ShowMessage(plat::ErrorText(err));
  view_.FileListUpdate();
}

void TForm1Controller::Properties1Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  view_.ShowProperties(path);
}

}  // namespace shell
