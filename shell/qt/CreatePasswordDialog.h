// The create password: a masked field and the cipher (AES-256 first, as
// zefa a --encrypt offers them). An empty password turns encryption off.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <string>

namespace shell::qt {

class CreatePasswordDialog : public QDialog {
  Q_OBJECT
 public:
  // cipher: the strength chosen last (TForm1Controller::CreateCiphers).
  CreatePasswordDialog(int cipher, QWidget* parent = nullptr);

  // Runs the dialog; false when it was cancelled (nothing changes then).
  bool Ask(std::string& password, int& cipher);

  QLineEdit* Field;
  QComboBox* Cipher;
};

}  // namespace shell::qt
