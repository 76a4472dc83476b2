// TForm3: the destination dialog of "Extract ".
#pragma once

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "shell/Unit3.h"

namespace shell::qt {

class TForm3 : public QDialog, public IDestinationView {
  Q_OBJECT
 public:
  // confirmed: the main window's DestinationConfirmed; treeFolder: the
  // folder the main window shows at start-up.
  TForm3(bool& confirmed, const std::string& treeFolder, QWidget* parent = nullptr);

  QListWidget* DirectoryListBox1;
  QLabel* DestinationLabel;  // the full path the files will go to
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Cancel

  std::string ListFolder() override;
  void SetListFolder(const std::string& folder) override;
  std::string SelectedFolder() override;
  void ShowDestination(const std::string& path) override;
  void CloseDialog() override;
  void ShowMessage(const std::string& text) override;

 private:
  TForm3Controller controller_;
  std::string folder_;
};

}  // namespace shell::qt
