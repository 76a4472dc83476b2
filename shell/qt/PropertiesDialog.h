// A file's properties: name, size, dates and permissions.
#pragma once

#include <QDialog>
#include <string>

namespace shell::qt {

class PropertiesDialog : public QDialog {
  Q_OBJECT
 public:
  PropertiesDialog(const std::string& path, QWidget* parent = nullptr);
};

}  // namespace shell::qt
