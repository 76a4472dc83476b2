#include "shell/Unit3.h"

#include "platform/files.h"

namespace shell {

void TForm3Controller::FormCreate(const std::string& mainTreeFolder) {
  // A folder that cannot be entered leaves the process where it was; the
  // list then shows that folder.
  if (!mainTreeFolder.empty()) plat::SetCurrentDir(mainTreeFolder);
  view_.SetListFolder(plat::GetCurrentDir());
}

void TForm3Controller::BitBtn1Click() {
  if (!plat::SetCurrentDir(view_.ListFolder())) {
    // The dialog stays open and nothing is confirmed.
    view_.ShowMessage(plat::ErrorText(plat::LastError()));
    return;
  }
  confirmed_ = true;
  view_.CloseDialog();
}

void TForm3Controller::BitBtn2Click() { view_.CloseDialog(); }

}  // namespace shell
