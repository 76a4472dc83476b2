#include "shell/Unit2.h"

namespace shell {

const std::vector<std::string>& HelpLines() {
  static const std::vector<std::string> lines = {
      "ZEFA ARCHIVER v.1.0  is a programme for file compression in such formats as: *.zip, *.cab, *.lha ,  *.bh "
      "and *jar.  The programme decompresses  following formats : *.zip, *.cab, *.lha,   *.bh, *.ace, *.tar, "
      "*.jar, *.arj and  *.gzip.",
      "Both single files can be created and archives comprised of numerous files.",
      "The author was has been led by maximal usage easiness.",
      "In order to form an archive you should:",
      "  1.Click the \"New archive\" button and then give the name of the archive.",
      "  2.Underlight the archive files and click the \"Add file\" button.",
      "  3.After running out of the files list click the button \"Create archive\"  - new archive will be created.",
      "In order to extract an archived file you should:",
      "  1.Underlight the archive file in the file panel.",
      "  2.Click the \"Extract\" button. A panel will appear  in which the folder has to be chosen for the file to "
      "be extracted.",
      "Attention - you should make sure if the given folder is open , graphic form of the folder opening is "
      "obtained by its energetic double clicking.",
  };
  return lines;
}

void TForm2Controller::Ret() {
  view_.PaneClear();
  for (const auto& line : HelpLines()) view_.PaneAdd(line);
}

void TForm2Controller::SpeedButton1Click() { view_.HideWindow(); }

}  // namespace shell
