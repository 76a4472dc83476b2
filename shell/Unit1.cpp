#include "shell/Unit1.h"

#include <cmath>

#include "platform/files.h"
#include "platform/paths.h"
#include "shell/FileOps.h"

namespace shell {

const char* const kHomePage = "https://zefa-archiver.example.org/";

const char* const kPreviewStatus = "View file inside the archive";

TForm1Controller::BusyScope::BusyScope(TForm1Controller& c) : c_(c) {
  c_.busy_ = true;
  c_.cancelRequested_ = false;
  c_.RunSpan(0, 100);
  c_.view_.SetBusy(true);
}

TForm1Controller::BusyScope::~BusyScope() {
  c_.busy_ = false;
  c_.view_.SetBusy(false);
}

TForm1Controller::TForm1Controller(IMainView& view, IArchiveEngine& engine) : view_(view), engine_(engine) {
  engine_.SetProgressHandler([this](int, int byArchive) {
    view_.ShowProgress(static_cast<int>(std::lround(runFrom_ + runSpan_ * byArchive / 100.0)));
  });
  engine_.SetPasswordHandler([this](const std::string& entry, bool again, std::string& password) {
    return view_.AskPassword(entry, again, password);
  });
}

TForm1Controller::~TForm1Controller() {
  engine_.SetProgressHandler({});
  engine_.SetPasswordHandler({});
}

void TForm1Controller::RunSpan(double from, double span) {
  runFrom_ = from;
  runSpan_ = span;
}

void TForm1Controller::tworzenie() {
  view_.PaneClear();
  BuildMode = 1;
  BuildCount = 1;
}

void TForm1Controller::FolderChanged() {
  if (BuildMode == 1 && previewShown_) {
    // The list no longer holds the file the pane was showing.
    view_.PaneClear();
    view_.SetStatus("");
    previewShown_ = false;
  }
  view_.SetTreeDrive(view_.SelectedDrive());
  view_.SetFileListFolder(view_.TreeFolder());
  view_.TreeUpdate();
  view_.TreeRepaint();
}

void TForm1Controller::zm2() { FolderChanged(); }
void TForm1Controller::zmiana1() { FolderChanged(); }

void TForm1Controller::OpenFolder(const std::string& folder) {
  view_.SetTreeFolder(folder);
  FolderChanged();
}

void TForm1Controller::wyswietl() {
  if (busy_ || BuildMode != 1) return;
  Preview(view_.SelectedFile());
}

void TForm1Controller::Preview(const std::string& path) {
  if (!IsArchiveName(path) || plat::DirectoryExists(path)) {
    // The pane never shows the listing of a file other than the selected one.
    view_.PaneClear();
    if (previewShown_) view_.SetStatus("");
    previewShown_ = false;
    return;
  }
  std::vector<std::string> lines{path};
  view_.SetStatus(kPreviewStatus);
  // A page chosen for one archive does not carry over to the next.
  if (path != namePageFor_) {
    namePage_.clear();
    namePageFor_ = path;
  }
  {
    BusyScope busy(*this);
    TDirReaderProps& r = components_.RizER1;
    r.FileSpec.clear();
    r.ArchiveFile = path;
    r.FileSpec.push_back("*.*");
    r.NameCharset = namePage_;
    engine_.GetFileList(r, lines);
  }
  view_.ShowNamePage(engine_.LastNamePage(), !namePage_.empty());
  view_.PaneSetFirstIndent(4);
  view_.PaneSetFontSize(10);
  view_.PaneSetFontColor(PaneColor::Blue);
  view_.PaneSetFontName("Arial");
  view_.PaneClear();
  view_.PaneAddLines(lines);
  previewShown_ = true;
}

const std::vector<std::string>& TForm1Controller::NamePages() {
  static const std::vector<std::string> pages = {"CP437",  "CP850",  "CP852", "CP866", "CP1250", "CP1251",
                                                 "CP1252", "CP932",  "GBK",   "CP949", "BIG5",   "UTF-8"};
  return pages;
}

void TForm1Controller::NamePageChosen(const std::string& page) {
  if (busy_ || BuildMode != 1 || !previewShown_ || namePageFor_.empty()) return;
  namePage_ = page;
  Preview(namePageFor_);
}

void TForm1Controller::OpenWithDefault(const std::string& path) {
  if (path.empty() || IsArchiveName(path)) return;
  view_.OpenDocument(path, view_.FileListFolder());
}

void TForm1Controller::otw() {
  const std::string path = view_.SelectedFile();
  if (plat::DirectoryExists(path)) {
    OpenFolder(path);
    return;
  }
  OpenWithDefault(path);
}

void TForm1Controller::FormKeyDown(int key, bool ctrl) {
  if (ctrl) {
    if (key == kKeyQ) SpeedButton6Click();
    return;
  }
  if (busy_) return;
  switch (key) {
    case kKeyReturn: {
      const std::string path = view_.SelectedFile();
      if (IsArchiveName(path) && !plat::DirectoryExists(path))
        wyswietl();
      else
        otw();
      return;
    }
    case kKeyDelete:
      Przenie1Click();
      return;
    case kKeyEscape:
      break;
    default:
      return;
  }
  if (BuildMode != 2) return;
  if (!view_.ConfirmYesNo("Cancel? Are you sure?")) return;
  BuildMode = 1;
  BuildName.clear();
  for (int i = 1; i < BuildCount && i <= kMaxBuildFiles; ++i) BuildFiles[i].clear();
  view_.PaneClear();
  view_.SetStatus("User canceled the create archive!");
}

void TForm1Controller::FilesDropped(const std::vector<std::string>& paths) {
  if (busy_ || paths.empty()) return;
  if (BuildMode == 2) {
    AddToBuild(paths);
    return;
  }
  if (paths.size() == 1 && IsArchiveName(paths[0]) && plat::FileExists(paths[0])) {
    Preview(paths[0]);
    return;
  }
  view_.SetStatus("Drop one archive to view it, or click \"New archive\" first to add files");
}

void TForm1Controller::CancelClick() {
  if (!busy_) return;
  cancelRequested_ = true;
  engine_.Cancel();
}

void TForm1Controller::ReportExtracted(const std::string& archive, const ExtractResult& r) {
  if (r.Cancelled) {
    view_.SetStatus("Extraction cancelled after " + CountText(r.Extracted, " file", " files"));
    return;
  }
  if (r.Failed == 0) {
    const std::string why = engine_.FailureText();
    if (r.Extracted == 0 && !why.empty())
      view_.SetStatus("Could not extract " + plat::ExtractFileName(archive) + ": " + why);
    else
      view_.SetStatus("Extracted " + CountText(r.Extracted, " file", " files"));
    return;
  }
  const int total = r.Extracted + r.Failed;
  std::string text = "Extracted " + std::to_string(r.Extracted) + " of " + CountText(total, " file", " files");
  if (r.Encrypted > 0)
    text += ", " + CountText(r.Encrypted, " encrypted entry", " encrypted entries") + " skipped";
  if (r.Failed > r.Encrypted) text += ", " + std::to_string(r.Failed - r.Encrypted) + " failed";
  view_.SetStatus(text);
}

void TForm1Controller::SpeedButton4Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  ExtractorKind kind;
  if (!ExtractorForName(path, kind) || plat::DirectoryExists(path)) return;
  if (!engine_.ExtractorAvailable(kind)) return;
  DestinationConfirmed = false;
  view_.ShowDestinationDialog();
  if (!DestinationConfirmed) return;
  view_.TreeRepaint();
  view_.FileListRepaint();
  TExtractorProps& x = components_.Extractor(kind);
  x.ArchiveFile = path;
  x.FileSpec.clear();
  x.FileSpec.push_back("*.*");
  x.ExtractDir = plat::GetCurrentDir();
  // The names come out as the preview showed them.
  x.NameCharset = path == namePageFor_ ? namePage_ : std::string();
  ExtractResult r;
  view_.SetStatus("Extracting " + plat::ExtractFileName(path) + " ...");
  {
    BusyScope busy(*this);
    r = engine_.Extract(x);
  }
  view_.FileListUpdate();
  ReportExtracted(path, r);
}

void TForm1Controller::SpeedButton5Click() { view_.ShowHelp(); }

void TForm1Controller::SpeedButton6Click() {
  // Quit asks nothing; a running operation is told to stop first so it
  // unwinds instead of running on behind a closed window.
  if (busy_) CancelClick();
  view_.Terminate();
}

void TForm1Controller::SpeedButton8Click() { view_.OpenUrl(kHomePage); }

}  // namespace shell
