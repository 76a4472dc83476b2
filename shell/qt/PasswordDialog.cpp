#include "shell/qt/PasswordDialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace shell::qt {

PasswordDialog::PasswordDialog(const std::string& entry, bool again, QWidget* parent) : QDialog(parent) {
  setObjectName("PasswordDialog");
  setWindowTitle("Password");
  setModal(true);
  const QString name = QString::fromStdString(entry).toHtmlEscaped();
  Prompt = new QLabel(again ? "Wrong password for <b>" + name + "</b>. Try again:"
                            : "<b>" + name + "</b> is encrypted. Enter its password:",
                      this);
  Prompt->setWordWrap(true);
  Prompt->setTextFormat(Qt::RichText);
  Field = new QLineEdit(this);
  Field->setObjectName("Field");
  Field->setEchoMode(QLineEdit::Password);
  OkButton = new QPushButton("OK", this);
  SkipButton = new QPushButton("Skip", this);
  CancelButton = new QPushButton("Cancel", this);
  OkButton->setDefault(true);
  SkipButton->setToolTip("Leave this entry out and go on with the others");
  CancelButton->setToolTip("Stop the extraction");
  connect(OkButton, &QPushButton::clicked, this, [this] {
    answer_ = PasswordAnswer::Ok;
    accept();
  });
  connect(SkipButton, &QPushButton::clicked, this, [this] {
    answer_ = PasswordAnswer::Skip;
    reject();
  });
  connect(CancelButton, &QPushButton::clicked, this, [this] {
    answer_ = PasswordAnswer::Cancel;
    reject();
  });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OkButton);
  buttons->addWidget(SkipButton);
  buttons->addWidget(CancelButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Prompt);
  layout->addWidget(Field);
  layout->addLayout(buttons);
  setMinimumWidth(340);
}

PasswordAnswer PasswordDialog::Ask(std::string& password) {
  answer_ = PasswordAnswer::Cancel;  // closing the dialog stops, as Esc does
  exec();
  if (answer_ == PasswordAnswer::Ok) password = Field->text().toStdString();
  Field->clear();
  return answer_;
}

}  // namespace shell::qt
