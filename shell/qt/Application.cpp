#include "shell/qt/Application.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/hooks.h"
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

Application::Application(IArchiveEngine& engine) {
  QApplication::setWindowIcon(AppIcon());
  form1_ = std::make_unique<TForm1>(engine);
  form2_ = std::make_unique<TForm2>();
  form3_ = std::make_unique<TForm3>(form1_->Controller().DestinationConfirmed, form1_->TreeFolder(), form1_.get());
  form1_->SetHelpWindow(form2_.get());
  form1_->SetDestinationDialog(form3_.get());
}

}  // namespace shell::qt
