// "New archive", "Add  file    " and "Create archive": the build list and
// the writer runs that turn it into an archive.
#include <algorithm>

#include "platform/files.h"
#include "platform/paths.h"
#include "shell/FileOps.h"
#include "shell/Unit1.h"

namespace shell {

namespace {

// A writer run over a folder: the folder itself is stored with everything
// below it ("docs/a.txt", "docs/sub/b.txt"), whatever the writer's own scan.
TWriterProps FolderRun(const TWriterProps& writer, const std::string& folder) {
  TWriterProps run = writer;
  run.FileSpec = {plat::IncludeTrailingPathDelimiter(folder) + "*"};
  run.RecurseDirs = true;
  run.StoredDirNames = zid::sdRelativeStoreStart;
  return run;
}

}  // namespace

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
  previewShown_ = false;
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
  const std::vector<std::string> paths = view_.SelectedFiles();
  if (paths.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  if (BuildMode == 1) {
    view_.ShowMessage("Click the \"New archive\" button and then give the name of the archive");
    return;
  }
  AddToBuild(paths);
}

// Files and folders alike; a folder goes in with its subfolders.
void TForm1Controller::AddToBuild(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    if (BuildCount > kMaxBuildFiles) {
      view_.ShowMessage("The list of files is full (300 files)");
      return;
    }
    view_.SetStatus("Adding file to archive");
    BuildFiles[BuildCount] = path;
    ++BuildCount;
    view_.PaneAdd(path);
  }
}

const std::vector<TForm1Controller::TCipherChoice>& TForm1Controller::CreateCiphers() {
  static const std::vector<TCipherChoice> choices = {{"AES-256", 3}, {"AES-128", 1}, {"ZipCrypto", 0}};
  return choices;
}

void TForm1Controller::SetCreatePassword(const std::string& password, int cipher) {
  createPassword_ = password;
  createCipher_ = cipher;
  const char* label = CreateCiphers().front().label;
  for (const TCipherChoice& c : CreateCiphers())
    if (c.strength == cipher) label = c.label;
  view_.SetStatus(password.empty() ? "Archives created from now on are not encrypted"
                                   : std::string("Archives created from now on are encrypted with ") + label);
}

void TForm1Controller::ConfigureWriter(TWriterProps& w, const std::string& archive) {
  w.ArchiveFile = archive;
  w.Password = createPassword_;
  w.Cipher = createCipher_;
  w.AddToArchive = false;
  if (w.Kind->window.standardSet) {
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
    const std::string why = plat::ErrorText(plat::LastError());
    view_.ShowMessage(why);
    view_.SetStatus("Could not replace " + plat::ExtractFileName(archive) + ": " + why);
    return false;
  }
  return true;
}

void TForm1Controller::ReportCreated(const std::string& archive, int count) {
  const std::string name = plat::ExtractFileName(archive);
  if (cancelRequested_) {
    // A cancelled build may have left the archive of an earlier run: it
    // holds only part of the list, and the name was free when the command began.
    plat::DeleteFile(archive);
    view_.SetStatus("Cancelled: " + name + " was not created");
  } else if (count > 0 && plat::FileExists(archive)) {
    view_.SetStatus("Created " + name + " with " + CountText(count, " file", " files"));
  } else {
    const std::string why = engine_.FailureText();
    view_.SetStatus("Could not create " + name + (why.empty() ? std::string() : ": " + why));
  }
}

void TForm1Controller::EndBuild(const std::string& status) {
  CloseBuild();
  view_.PaneClear();
  view_.SetStatus(status);
}

void TForm1Controller::CloseBuild() {
  BuildMode = 1;
  BuildName.clear();
  for (int i = 1; i < BuildCount && i <= kMaxBuildFiles; ++i) BuildFiles[i].clear();
}

void TForm1Controller::SpeedButton3Click() {
  if (busy_) return;
  const WriterKind format = view_.SelectedFormat();
  const std::string selected = view_.SelectedFile();
  if (selected.empty() && BuildMode == 1) {
    view_.ShowMessage("No files selected!");
    return;
  }
  if (BuildName.empty()) {
    CreateSingle(format, selected);
    return;
  }
  if (BuildMode == 2) CreateBuild(format);
}

void TForm1Controller::CreateSingle(WriterKind format, const std::string& selected) {
  if (selected.empty()) {
    view_.ShowMessage("No files selected!");
    return;
  }
  if (!engine_.WriterAvailable(format)) {
    view_.SetStatus(WriterMissingText(format));
    return;
  }
  view_.SetSaveTitle("Choose an archive name:");
  std::string chosen;
  if (!view_.RunSaveDialog(chosen) || chosen.empty()) return;
  const std::string archive = plat::ChangeFileExt(chosen, FormatExtension(format));
  // Answering "Yes" would delete the very file to be packed.
  if (SameFile(archive, selected)) {
    view_.ShowMessage("The archive cannot replace the file it is made from");
    return;
  }
  if (!MayWriteArchive(archive)) return;
  TWriterProps& writer = components_.Writer(format);
  ConfigureWriter(writer, archive);
  int count = 0;
  view_.SetStatus("Creating " + plat::ExtractFileName(archive) + " ...");
  {
    BusyScope busy(*this);
    if (plat::DirectoryExists(selected)) {
      count = engine_.Compress(FolderRun(writer, selected));
    } else {
      writer.FileSpec.push_back(selected);
      count = engine_.Compress(writer);
    }
  }
  view_.FileListUpdate();
  ReportCreated(archive, count);
}

void TForm1Controller::CreateBuild(WriterKind format) {
  if (BuildCount == 1) {
    view_.ShowMessage("No files selected.You need to select files for this operation!");
    return;
  }
  // From here on a build that cannot be written ends, saying why: it must
  // not hold the window in build mode, where nothing is previewed.
  if (!engine_.WriterAvailable(format)) {
    EndBuild(WriterMissingText(format));
    return;
  }
  const std::string archive = plat::ChangeFileExt(BuildName, FormatExtension(format));
  for (int i = 1; i < BuildCount; ++i) {
    if (SameFile(BuildFiles[i], archive)) {
      view_.ShowMessage("The archive cannot replace a file it is made from");
      EndBuild("Could not create " + plat::ExtractFileName(archive) + ": it is one of the files to pack");
      return;
    }
  }
  if (plat::FileExists(archive) && !ConfirmReplace(archive)) return;  // the build stays open
  if (plat::FileExists(archive) && !plat::DeleteFile(archive)) {
    const std::string why = plat::ErrorText(plat::LastError());
    view_.ShowMessage(why);
    EndBuild("Could not replace " + plat::ExtractFileName(archive) + ": " + why);
    return;
  }

  // Files first: one run per collected file, each with all files so far, so
  // the last run leaves the archive holding every one of them. Then one run
  // per folder, with its subfolders, added to the archive written so far.
  std::vector<std::string> files, folders;
  for (int i = 1; i < BuildCount; ++i)
    (plat::DirectoryExists(BuildFiles[i]) ? folders : files).push_back(BuildFiles[i]);
  // Each run's share of the progress bar: the bytes it reads.
  std::vector<double> weights;
  double bytesSoFar = 0;
  for (const auto& f : files) weights.push_back(bytesSoFar += static_cast<double>(std::max<int64_t>(PathBytes(f), 1)));
  for (const auto& f : folders) weights.push_back(static_cast<double>(std::max<int64_t>(PathBytes(f), 1)));
  double total = 0;
  for (double w : weights) total += w;

  TWriterProps& writer = components_.Writer(format);
  ConfigureWriter(writer, archive);
  int count = 0, filesCount = 0;
  view_.SetStatus("Creating " + plat::ExtractFileName(archive) + " ...");
  {
    BusyScope busy(*this);
    double done = 0;
    size_t run = 0;
    auto nextRun = [&] {
      RunSpan(100.0 * done / total, 100.0 * weights[run] / total);
      done += weights[run++];
    };
    for (const auto& f : files) {
      if (cancelRequested_) break;
      nextRun();
      writer.FileSpec.push_back(f);
      filesCount = engine_.Compress(writer);
    }
    count = filesCount;
    for (const auto& f : folders) {
      if (cancelRequested_) break;
      nextRun();
      TWriterProps run = FolderRun(writer, f);
      run.AddToArchive = plat::FileExists(archive);
      count += engine_.Compress(run);
    }
  }
  view_.FileListUpdate();
  CloseBuild();
  view_.PaneClear();
  view_.SetStatus("");
  ReportCreated(archive, count);
}

}  // namespace shell
