// The help window (TForm2): a fixed text and a "Close" button.
#pragma once

#include <string>
#include <vector>

namespace shell {

// The help text, one entry per paragraph of the pane.
const std::vector<std::string>& HelpLines();

class IHelpView {
 public:
  virtual ~IHelpView() = default;
  virtual void PaneClear() = 0;
  virtual void PaneAdd(const std::string& line) = 0;
  virtual void HideWindow() = 0;
};

class TForm2Controller {
 public:
  explicit TForm2Controller(IHelpView& view) : view_(view) {}
  void Ret();                 // window created: the pane gets the help text
  void SpeedButton1Click();   // "Close": hides the window, which is reused

 private:
  IHelpView& view_;
};

}  // namespace shell
