#include "shell/qt/CreatePasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/Unit1.h"

namespace shell::qt {

CreatePasswordDialog::CreatePasswordDialog(int cipher, QWidget* parent) : QDialog(parent) {
  setObjectName("CreatePasswordDialog");
  setWindowTitle("Password");
  setModal(true);
  auto* prompt = new QLabel("Archives created from now on are encrypted with this password (empty: not encrypted):", this);
  prompt->setWordWrap(true);
  Field = new QLineEdit(this);
  Field->setObjectName("Field");
  Field->setEchoMode(QLineEdit::Password);
  Cipher = new QComboBox(this);
  Cipher->setObjectName("Cipher");
  Cipher->setToolTip("AES is read by 7-Zip and WinZip; ZipCrypto also by unzip, but known plaintext breaks it");
  for (const auto& c : TForm1Controller::CreateCiphers()) {
    Cipher->addItem(c.label, c.strength);
    if (c.strength == cipher) Cipher->setCurrentIndex(Cipher->count() - 1);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(prompt);
  layout->addWidget(Field);
  layout->addWidget(Cipher);
  layout->addWidget(buttons);
  setMinimumWidth(340);
}

bool CreatePasswordDialog::Ask(std::string& password, int& cipher) {
  const bool ok = exec() == QDialog::Accepted;
  if (ok) {
    password = Field->text().toStdString();
    cipher = Cipher->currentData().toInt();
  }
  Field->clear();
  return ok;
}

}  // namespace shell::qt
