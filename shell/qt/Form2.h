// TForm2: the help window, created once and shown modelessly.
#pragma once

#include <QPushButton>
#include <QTextEdit>
#include <QWidget>

#include "shell/Unit2.h"

namespace shell::qt {

class TForm2 : public QWidget, public IHelpView {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

  QTextEdit* RichEdit1;
  QPushButton* SpeedButton1;  // "Close"

  void PaneClear() override;
  void PaneAdd(const std::string& line) override;
  void HideWindow() override;

 private:
  TForm2Controller controller_;
};

}  // namespace shell::qt
