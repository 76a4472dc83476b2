// The password of an encrypted entry: a masked field, OK, "Skip" and "Cancel".
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "shell/ArchiveEngine.h"

namespace shell::qt {

class PasswordDialog : public QDialog {
  Q_OBJECT
 public:
  // again: the password given last for this entry was wrong.
  PasswordDialog(const std::string& entry, bool again, QWidget* parent = nullptr);

  // Runs the dialog; the password is set only for PasswordAnswer::Ok.
  PasswordAnswer Ask(std::string& password);

  QLabel* Prompt;
  QLineEdit* Field;
  QPushButton *OkButton, *SkipButton, *CancelButton;

 private:
  PasswordAnswer answer_ = PasswordAnswer::Cancel;
};

}  // namespace shell::qt
