// TForm1: the main window. It draws what the controller asks for and hands
// every event to it.
#pragma once

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QWidget>
#include <memory>

#include "shell/MainView.h"
#include "shell/Unit1.h"
#include "shell/qt/FolderViews.h"

namespace shell::qt {

class TForm2;
class TForm3;

class TForm1 : public QWidget, public IMainView {
  Q_OBJECT
 public:
  explicit TForm1(IArchiveEngine& engine, QWidget* parent = nullptr);
  ~TForm1() override;

  TForm1Controller& Controller() { return controller_; }
  void SetHelpWindow(TForm2* help) { help_ = help; }
  void SetDestinationDialog(TForm3* dialog) { destination_ = dialog; }

  // The controls, by the names the form gives them.
  QPushButton *SpeedButton1, *SpeedButton2, *SpeedButton3, *SpeedButton4, *SpeedButton5, *SpeedButton6,
      *SpeedButton7, *SpeedButton8;
  QComboBox* DriveComboBox1;
  FolderTree* DirectoryOutline1;
  FileList* FileListBox1;
  QTextEdit* RichEdit1;
  QLabel* Panel1;
  QProgressBar* ProgressBar1;
  QPushButton* CancelButton;  // beside the progress bar while an operation runs
  QGroupBox* GroupBox1;
  QRadioButton *RadioButton1, *RadioButton2, *RadioButton3, *RadioButton4, *RadioButton5;
  QMenu* PopupMenu1;
  // The preview pane's menu: the code page its archive names are read in.
  QMenu* NamesMenu;
  QFileDialog* SaveDialog1;

  // IMainView
  std::string SelectedFile() override;
  std::vector<std::string> SelectedFiles() override;
  void SetTreeFolder(const std::string& folder) override;
  void SetBusy(bool busy) override;
  void ShowProgress(int percent) override;
  PasswordAnswer AskPassword(const std::string& entry, bool again, std::string& password) override;
  std::string FileListFolder() override;
  void SetFileListFolder(const std::string& folder) override;
  void FileListUpdate() override;
  void FileListRepaint() override;
  void SetTreeDrive(const std::string& drive) override;
  std::string TreeFolder() override;
  void TreeUpdate() override;
  void TreeRepaint() override;
  std::string SelectedDrive() override;
  void PaneClear() override;
  void PaneAdd(const std::string& line) override;
  void PaneAddLines(const std::vector<std::string>& lines) override;
  void PaneSetFirstIndent(int indent) override;
  void PaneSetFontSize(int size) override;
  void PaneSetFontColor(PaneColor color) override;
  void PaneSetFontName(const std::string& face) override;
  void PaneRepaint() override;
  void ShowNamePage(const std::string& page, bool chosen) override;
  void SetStatus(const std::string& text) override;
  WriterKind SelectedFormat() override;
  void ShowMessage(const std::string& text) override;
  bool ConfirmYesNo(const std::string& question) override;
  void SetSaveTitle(const std::string& title) override;
  void SetSaveFileName(const std::string& name) override;
  bool RunSaveDialog(std::string& chosen) override;
  void ShowDestinationDialog() override;
  void ShowHelp() override;
  void OpenDocument(const std::string& path, const std::string& workFolder) override;
  void ShowProperties(const std::string& path) override;
  void OpenUrl(const std::string& url) override;
  void Terminate() override;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void FillDrives();
  // Places the controls for the window's size: the start-up size gives the
  // form's own geometry; the folder tree and the file list share any other
  // width, and the entry pane takes the rest of the height.
  void LayOut();
  // Right click on the pane: the menu of code pages while it shows an
  // archive's names, else the window's menu.
  void PaneMenu(const QPoint& at);

  IArchiveEngine& engine_;
  TForm1Controller controller_;
  TForm2* help_ = nullptr;
  TForm3* destination_ = nullptr;
  QButtonGroup* formats_ = nullptr;
  int createCipher_ = 3;  // the cipher the create password dialog offers first
  int firstIndent_ = 0;
  int fontSize_ = 10;
  QColor fontColor_ = Qt::black;
  QString fontName_ = "Arial";
  std::string namePage_;  // the page of the names shown; "" before any preview
  bool namePageChosen_ = false;
};

}  // namespace shell::qt
