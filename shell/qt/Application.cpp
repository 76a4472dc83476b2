#include "shell/qt/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"
#include "shell/qt/AppIcon.h"

namespace shell::qt {

void InstallPlatformHooks() {
  plat::SetApplicationTitle("zefa archiver");
  QApplication::setApplicationName("zefa archiver");
  plat::SetProcessMessagesHook([] { QCoreApplication::processEvents(); });
  plat::SetMessageBoxHook([](plat::MsgKind kind, const std::string& caption, const std::string& text) {
    QWidget* parent = QApplication::activeWindow();
    const QString c = QString::fromStdString(caption), t = QString::fromStdString(text);
    switch (kind) {
      case plat::MsgKind::Question:
        return QMessageBox::question(parent, c, t, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes
                   ? plat::MsgResult::Yes
                   : plat::MsgResult::No;
      case plat::MsgKind::RetryCancel:
        return QMessageBox::warning(parent, c, t, QMessageBox::Retry | QMessageBox::Cancel) == QMessageBox::Retry
                   ? plat::MsgResult::Retry
                   : plat::MsgResult::Cancel;
      case plat::MsgKind::Information:
        break;
    }
    QMessageBox::information(parent, c, t);
    return plat::MsgResult::Ok;
  });
}

void RemovePlatformHooks() {
  plat::SetProcessMessagesHook({});
  plat::SetMessageBoxHook({});
}

Application::Application(IArchiveEngine& engine, const std::string& startPath) {
  // The windows start in the process's current folder: the start path's folder becomes it first.
  const std::string start = startPath.empty() ? std::string() : plat::ExpandFileName(startPath);
  std::string select;
  bool missing = false;
  if (!start.empty()) {
    if (plat::DirectoryExists(start)) {
      plat::SetCurrentDir(start);
    } else if (plat::FileExists(start)) {
      plat::SetCurrentDir(plat::ExtractFilePath(start));
      select = plat::ExtractFileName(start);
    } else {
      missing = true;
    }
  }
  QApplication::setWindowIcon(AppIcon());
  form1_ = std::make_unique<TForm1>(engine);
  form2_ = std::make_unique<TForm2>();
  form3_ = std::make_unique<TForm3>(form1_->Controller().DestinationConfirmed, form1_->TreeFolder(), form1_.get());
  form1_->SetHelpWindow(form2_.get());
  form1_->SetDestinationDialog(form3_.get());
  if (missing) form1_->SetStatus("No such file or folder: " + start);
  // The preview follows the selection.
  if (!select.empty() && form1_->FileListBox1->Select(select)) {
    FileList* list = form1_->FileListBox1;
    QTimer::singleShot(0, list, [list] { list->scrollToItem(list->currentItem()); });
  }
}

}  // namespace shell::qt
