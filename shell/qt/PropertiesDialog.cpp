#include "shell/qt/PropertiesDialog.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "platform/files.h"
#include "platform/paths.h"

namespace shell::qt {

namespace {

QString Permissions(uint32_t mode) {
  const char* letters = "rwxrwxrwx";
  QString s;
  for (int i = 0; i < 9; ++i) s += (mode & (0400u >> i)) ? QChar(letters[i]) : QChar('-');
  return s;
}

QString Date(int64_t unixTime) {
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(unixTime), QLocale::LongFormat);
}

}  // namespace

PropertiesDialog::PropertiesDialog(const std::string& path, QWidget* parent) : QDialog(parent) {
  setObjectName("PropertiesDialog");
  setWindowTitle(QString::fromStdString(plat::ExtractFileName(path)) + " Properties");
  auto* form = new QFormLayout;
  const plat::FileInfo info = plat::FileStat(path);
  form->addRow("Name:", new QLabel(QString::fromStdString(plat::ExtractFileName(path))));
  form->addRow("Folder:", new QLabel(QString::fromStdString(plat::ExtractFileDir(path))));
  if (info.exists) {
    form->addRow("Size:", new QLabel(QLocale().toString(static_cast<qlonglong>(info.size)) + " bytes"));
    form->addRow("Modified:", new QLabel(Date(info.mtime)));
    form->addRow("Changed:", new QLabel(Date(info.ctime)));
    form->addRow("Permissions:", new QLabel(Permissions(info.mode)));
    form->addRow("Read-only:", new QLabel((info.attr & plat::faReadOnly) ? "yes" : "no"));
  } else {
    form->addRow("", new QLabel("The file no longer exists."));
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

}  // namespace shell::qt
