#include "shell/qt/Form2.h"

namespace shell::qt {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint),
      controller_(*this) {
  setObjectName("Form2");
  setWindowTitle("ZEFA SELVUR - help");
  setFont(QFont("Arial"));
  setFixedSize(324, 461);
  setCursor(Qt::WhatsThisCursor);
  RichEdit1 = new QTextEdit(this);
  RichEdit1->setObjectName("RichEdit1");
  RichEdit1->setGeometry(8, 8, 305, 417);
  RichEdit1->setReadOnly(true);
  RichEdit1->setPlainText("RichEdit1");
  SpeedButton1 = new QPushButton("Close", this);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setGeometry(208, 432, 105, 22);
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { controller_.SpeedButton1Click(); });
  controller_.Ret();
}

void TForm2::PaneClear() { RichEdit1->clear(); }
void TForm2::PaneAdd(const std::string& line) { RichEdit1->append(QString::fromStdString(line)); }
void TForm2::HideWindow() { hide(); }

}  // namespace shell::qt
