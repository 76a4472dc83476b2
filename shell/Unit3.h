// The destination dialog of "Extract " (TForm3): a folder list, OK and
// Cancel. The folder highlighted in the list is the destination, whether it
// was opened or not, and the dialog shows its full path as the highlight
// moves. OK hands it over as the process's current folder.
#pragma once

#include <string>

namespace shell {

class IDestinationView {
 public:
  virtual ~IDestinationView() = default;
  virtual std::string ListFolder() = 0;                       // the folder the list shows (opened last)
  virtual void SetListFolder(const std::string& folder) = 0;  // shows and refreshes, highlighting it
  virtual std::string SelectedFolder() = 0;                   // the highlighted folder, "" when none
  virtual void ShowDestination(const std::string& path) = 0;
  virtual void CloseDialog() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

class TForm3Controller {
 public:
  // confirmed: the main window's DestinationConfirmed.
  TForm3Controller(IDestinationView& view, bool& confirmed) : view_(view), confirmed_(confirmed) {}

  // Once, at start-up: the main window's folder becomes the current folder
  // and the list shows it. Later showings start from the folder shown last.
  void FormCreate(const std::string& mainTreeFolder);
  void SelectionChanged();  // the highlight moved
  void BitBtn1Click();  // OK
  void BitBtn2Click();  // Cancel
  // Where OK sends the files: the highlighted folder, else the one shown.
  std::string Destination();

 private:
  IDestinationView& view_;
  bool& confirmed_;
};

}  // namespace shell
