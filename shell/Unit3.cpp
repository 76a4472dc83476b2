#include "shell/Unit3.h"

#include "platform/files.h"

namespace shell {

void TForm3Controller::FormCreate(const std::string& mainTreeFolder) {
  // A folder that cannot be entered leaves the process where it was; the
  // list then shows that folder.
  if (!mainTreeFolder.empty()) plat::SetCurrentDir(mainTreeFolder);
  view_.SetListFolder(plat::GetCurrentDir());
  SelectionChanged();
}

std::string TForm3Controller::Destination() {
  const std::string selected = view_.SelectedFolder();
  return selected.empty() ? view_.ListFolder() : selected;
}

void TForm3Controller::SelectionChanged() { view_.ShowDestination(Destination()); }

void TForm3Controller::BitBtn1Click() {
  if (!plat::SetCurrentDir(Destination())) {
    // The dialog stays open and nothing is confirmed.
    view_.ShowMessage(plat::ErrorText(plat::LastError()));
    return;
  }
  confirmed_ = true;
  view_.CloseDialog();
}

void TForm3Controller::BitBtn2Click() { view_.CloseDialog(); }

}  // namespace shell
