#include "shell/Unit1.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "shell/FileOps.h"

namespace shell {

const char* const kHomePage = "https://zefa-archiver.example.org/";

namespace {

// Marks the controller busy for the life of one engine operation.
class BusyScope {
 public:
  explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~BusyScope() { flag_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& flag_;
};

std::string Plural(int n, const char* one, const char* many) {
  return std::to_string(n) + (n == 1 ? one : many);
}

}  // namespace

TForm1Controller::TForm1Controller(IMainView& view, IArchiveEngine& engine) : view_(view), engine_(engine) {}

void TForm1Controller::tworzenie() {
  view_.PaneClear();
  BuildMode = 1;
  BuildCount = 1;
}

void TForm1Controller::FolderChanged() {
  view_.SetTreeDrive(view_.SelectedDrive());
  view_.SetFileListFolder(view_.TreeFolder());
  view_.TreeUpdate();
  view_.TreeRepaint();
}

void TForm1Controller::zm2() { FolderChanged(); }
void TForm1Controller::zmiana1() { FolderChanged(); }

void TForm1Controller::wyswietl() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  std::vector<std::string> lines{path};
  if (BuildMode != 1) return;
  if (!IsArchiveName(path)) return;
  view_.SetStatus("View file inside the archive");
  {
    BusyScope busy(busy_);
    TDirReaderProps& r = components_.RizER1;
    r.FileSpec.clear();
    r.ArchiveFile = path;
    r.FileSpec.push_back("*.*");
    engine_.GetFileList(r, lines);
  }
  view_.PaneSetFirstIndent(4);
  view_.PaneSetFontSize(10);
  view_.PaneSetFontColor(PaneColor::Blue);
  view_.PaneSetFontName("Arial");
  view_.PaneClear();
  view_.PaneAddLines(lines);
}

void TForm1Controller::OpenWithDefault(const std::string& path) {
  if (path.empty() || IsArchiveName(path)) return;
  view_.OpenDocument(path, view_.FileListFolder());
}

void TForm1Controller::otw() { OpenWithDefault(view_.SelectedFile()); }

void TForm1Controller::FormKeyDown(int key) {
  if (busy_ || key != kKeyEscape || BuildMode != 2) return;
  if (!view_.ConfirmYesNo("Cancel? Are you sure?")) return;
  BuildMode = 1;
  BuildName.clear();
  for (int i = 1; i < BuildCount && i <= kMaxBuildFiles; ++i) BuildFiles[i].clear();
  view_.PaneClear();
  view_.SetStatus("User canceled the create archive!");
}

void TForm1Controller::SpeedButton1Click() {
  if (busy_) return;
  BuildMode = 2;
  BuildCount = 1;
  view_.SetStatus("Create new archive");
  view_.SetSaveTitle("Choose an archive name");
  std::string chosen;
  if (view_.RunSaveDialog(chosen)) BuildName = chosen;
  if (BuildName.empty()) {
    BuildMode = 1;
    view_.SetStatus("User canceled the create archive");
    return;
  }
  view_.PaneClear();
  view_.PaneAdd("Archive name: :");
  view_.PaneSetFontColor(PaneColor::Blue);
  BuildName = plat::ChangeFileExt(BuildName, FormatExtension(view_.SelectedFormat()));
  view_.PaneAdd(BuildName);
  view_.PaneSetFontColor(PaneColor::Black);
  view_.PaneAdd("Selected files:");
  view_.PaneRepaint();
}

void TForm1Controller::SpeedButton2Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  if (BuildMode == 1) {
    view_.ShowMessage("Click the \"New archive\" button and then give the name of the archive");
    return;
  }
  if (BuildCount > kMaxBuildFiles) {
    view_.ShowMessage("The list of files is full (300 files)");
    return;
  }
  view_.SetStatus("Adding file to archive");
  BuildFiles[BuildCount] = path;
  ++BuildCount;
  view_.PaneAdd(path);
}

void TForm1Controller::ConfigureWriter(TWriterProps& w, const std::string& archive) {
  w.ArchiveFile = archive;
  if (w.Kind != WriterKind::Lha) {
    // Lha1 keeps cmFrozen6 and its recursive scan; the others get the standard set.
    w.DateAttribute = zid::daFileDate;
    w.StoredDirNames = zid::sdRelative;
    w.SetCompressMethod(zid::cmDeflate);
    w.RecurseDirs = false;
    w.Switch = zid::swAdd;
    w.ExcludeSpec.clear();
  }
  w.FileSpec.clear();
}

bool TForm1Controller::ConfirmReplace(const std::string& path) {
  return view_.ConfirmYesNo("File : " + path + " already exists. Do you want to overwrite this file?");
}

bool TForm1Controller::MayWriteArchive(const std::string& archive) {
  if (!plat::FileExists(archive)) return true;
  if (!ConfirmReplace(archive)) return false;
  if (!plat::DeleteFile(archive)) {
    view_.ShowMessage(plat::ErrorText(plat::LastError()));
    return false;
  }
  return true;
}

void TForm1Controller::ReportCreated(const std::string& archive, int count) {
  const std::string name = plat::ExtractFileName(archive);
  if (count > 0 && plat::FileExists(archive))
    view_.SetStatus("Created " + name + " with " + Plural(count, " file", " files"));
  else
    view_.SetStatus("Could not create " + name);
}

void TForm1Controller::SpeedButton3Click() {
  if (busy_) return;
  const WriterKind format = view_.SelectedFormat();
  const std::string selected = view_.SelectedFile();
  if (selected.empty() && BuildMode == 1) {
    view_.ShowMessage("No files selected!");
    return;
  }
  const std::string ext = FormatExtension(format);
  TWriterProps& writer = components_.Writer(format);

  if (BuildName.empty()) {
    if (selected.empty()) {
      view_.ShowMessage("No files selected!");
      return;
    }
    if (!engine_.WriterAvailable(format)) return;
    view_.SetSaveTitle("Choose an archive name:");
    std::string chosen;
    if (!view_.RunSaveDialog(chosen) || chosen.empty()) return;
    const std::string archive = plat::ChangeFileExt(chosen, ext);
    // Answering "Yes" would delete the very file to be packed.
    if (SameFile(archive, selected)) {
      view_.ShowMessage("The archive cannot replace the file it is made from");
      return;
    }
    if (!MayWriteArchive(archive)) return;
    ConfigureWriter(writer, archive);
    writer.FileSpec.push_back(selected);
    int count = 0;
    {
      BusyScope busy(busy_);
      count = engine_.Compress(writer);
    }
    view_.FileListUpdate();
    ReportCreated(archive, count);
    return;
  }

  if (BuildMode != 2) return;
  if (BuildCount == 1) {
    view_.ShowMessage("No files selected.You need to select files for this operation!");
    return;
  }
  if (!engine_.WriterAvailable(format)) return;
  const std::string archive = plat::ChangeFileExt(BuildName, ext);
  for (int i = 1; i < BuildCount; ++i) {
    if (SameFile(BuildFiles[i], archive)) {
      view_.ShowMessage("The archive cannot replace a file it is made from");
      return;
    }
  }
  if (!MayWriteArchive(archive)) return;
  ConfigureWriter(writer, archive);
  int count = 0;
  {
    // One run per collected path, each with all paths so far: the last run
    // leaves the archive holding every collected file.
    BusyScope busy(busy_);
    for (int i = 1; i < BuildCount; ++i) {
      writer.FileSpec.push_back(BuildFiles[i]);
      count = engine_.Compress(writer);
    }
  }
  view_.FileListUpdate();
  CloseBuild();
  view_.PaneClear();
  view_.SetStatus("");
  ReportCreated(archive, count);
}

void TForm1Controller::CloseBuild() {
  BuildMode = 1;
  BuildName.clear();
  for (int i = 1; i < BuildCount && i <= kMaxBuildFiles; ++i) BuildFiles[i].clear();
}

void TForm1Controller::ReportExtracted(const ExtractResult& r) {
  const int total = r.Extracted + r.Failed;
  if (r.Failed == 0)
    view_.SetStatus("Extracted " + Plural(r.Extracted, " file", " files"));
  else
    view_.SetStatus("Extracted " + std::to_string(r.Extracted) + " of " + Plural(total, " file", " files") + ", " +
                    std::to_string(r.Failed) + " failed");
}

void TForm1Controller::SpeedButton4Click() {
  if (busy_) return;
  const std::string path = view_.SelectedFile();
  if (path.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  ExtractorKind kind;
  if (!ExtractorForName(path, kind)) return;
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
  ExtractResult r;
  {
    BusyScope busy(busy_);
    r = engine_.Extract(x);
  }
  view_.FileListUpdate();
  ReportExtracted(r);
}

void TForm1Controller::SpeedButton5Click() { view_.ShowHelp(); }

void TForm1Controller::SpeedButton6Click() {
  // Quit asks nothing; a running operation is told to stop first so it
  // unwinds instead of running on behind a closed window.
  if (busy_) engine_.Cancel();
  view_.Terminate();
}

void TForm1Controller::SpeedButton8Click() { view_.OpenUrl(kHomePage); }

}  // namespace shell
