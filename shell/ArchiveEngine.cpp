#include "shell/ArchiveEngine.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <stdexcept>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidCompBase.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
#include "engine/listing/zidRizER.h"
#include "platform/files.h"

namespace shell {

const std::vector<std::string>& DefaultStoreFilesOfType() {
  static const std::vector<std::string> exts = {
      ".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ", ".HA",  ".JAR", ".LHA", ".LZH", ".PAK",
      ".PK3", ".PK_", ".RAR", ".TAR", ".TGZ", ".UUE", ".UU", ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"};
  return exts;
}

void TWriterProps::SetCompressMethod(TCompressMethod m) {
  if (std::find(SupportedMethods.begin(), SupportedMethods.end(), m) != SupportedMethods.end())
    CompressMethod = m;
}

namespace {

// The window's attribute bits are the engine's attribute positions.
zid::TzidFileAttributes EngineAttributes(TzidFileAttributes bits) {
  zid::TzidFileAttributes set;
  for (unsigned i = 0; i <= static_cast<unsigned>(zid::fsEncrypted); ++i)
    if (bits & (1u << i)) set.Include(static_cast<zid::TzidFileAttribute>(i));
  return set;
}

// What the extractor said about each entry during one Extract.
struct EntryTally {
  std::string archive;
  std::set<std::string> passed;
  std::set<std::string> withoutPassword;  // entries refused for want of a password
  int verdicts = 0;
  std::string failure;  // the first message of the run
  std::string asked;    // the entry the password question was last about

  void Verdict(const std::string& name, bool pass) {
    ++verdicts;
    if (pass) passed.insert(name);
  }
  void Error(const std::string& name, const std::string& extra, int code) {
    if (failure.empty()) failure = zid::LoadStr(code);
    // Reports without a name, or naming the archive itself, are about the
    // archive (not found, unknown type, unreadable directory), not an entry.
    if (name.empty() || name == archive) return;
    if (code == zid::E_INVALIDPASSWORD || code == zid::E_PASSWORDFAILED || code == zid::E_PASSWORDPROTECTED ||
        (code == zid::E_REQUIREDEVENT && extra == "OnGetPassword"))
      withoutPassword.insert(name);
  }
};

// The entry's name as the user knows it: its path below the folder it goes to.
std::string EntryLabel(const std::string& output, const std::string& extractDir) {
  if (!extractDir.empty() && output.compare(0, extractDir.size(), extractDir) == 0)
    return output.substr(extractDir.size());
  return output;
}

}  // namespace

const zid::TFormat* Family(const char* cliName) {
  const zid::TFormat* f = zid::FormatByName(cliName);
  if (f == nullptr) throw std::logic_error(std::string("no family ") + cliName + " in the format table");
  return f;
}

const std::vector<const zid::TFormat*>& FormatButtons() {
  static const std::vector<const zid::TFormat*> buttons = [] {
    std::vector<const zid::TFormat*> b;
    for (const zid::TFormat& f : zid::Formats())
      if (f.window.button >= 0) b.push_back(&f);
    std::sort(b.begin(), b.end(), [](auto* x, auto* y) { return x->window.button < y->window.button; });
    return b;
  }();
  return buttons;
}

// The components of this build, one each, as the form owns them: made from
// the format table when the window first uses them, kept for the program's life.
struct ArchiveEngine::Components {
  std::map<const zid::TFormat*, std::unique_ptr<zid::TCompBase>> writers;
  std::map<const zid::TFormat*, std::unique_ptr<zid::TUnBase>> extractors;
  zid::TRizER RizER1;
  // The ArchiveFile last assigned to each writer, as the window gave it.
  std::map<const zid::TFormat*, std::string> assigned;
  zid::TOnProgress progress;

  zid::TCompBase* Writer(WriterKind k) {
    if (k == nullptr || k->makeWriter == nullptr) return nullptr;
    auto& w = writers[k];
    if (!w) {
      w = k->makeWriter();
      w->OnProgress = progress;
    }
    return w.get();
  }
  zid::TUnBase* Extractor(ExtractorKind k) {
    if (k == nullptr || k->makeExtractor == nullptr || k->types.empty()) return nullptr;
    auto& x = extractors[k];
    if (!x) {
      x = k->makeExtractor(k->types.front());
      x->OnProgress = progress;
    }
    return x.get();
  }
};

// Points Cancel at the running component's flag for the life of one operation.
class ArchiveEngine::RunningScope {
 public:
  RunningScope(ArchiveEngine& e, bool* flag) : e_(e) { e_.cancelFlag_ = flag; }
  ~RunningScope() { e_.cancelFlag_ = nullptr; }
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;

 private:
  ArchiveEngine& e_;
};

ArchiveEngine::ArchiveEngine() : parts_(std::make_unique<Components>()) {
  parts_->progress = [this](zid::TZipCommon*, uint8_t byFile, uint8_t byArchive) {
    ReportProgress(byFile, byArchive);
  };
  parts_->RizER1.OnProgress = parts_->progress;
}

ArchiveEngine::~ArchiveEngine() = default;

bool ArchiveEngine::WriterAvailable(WriterKind kind) const { return kind != nullptr && kind->makeWriter != nullptr; }

bool ArchiveEngine::ExtractorAvailable(ExtractorKind kind) const {
  return kind != nullptr && kind->makeExtractor != nullptr;
}

bool ArchiveEngine::ListerAvailable() const { return true; }

std::string WriterMissingText(WriterKind kind) { return zid::NotWritableText(*kind); }

namespace {

// Copies the window's settings onto a writer. ArchiveFile is assigned when
// the window starts a command on it: a new name, or a name with no archive
// behind it (the window has just deleted the one it overwrites). The further
// runs of a build find the archive of the previous run and keep the
// assignment, so the writer still treats the archive as new.
void ApplyWriter(const TWriterProps& p, zid::TCompBase& w, std::string& assigned) {
  w.SetArcType(p.ArcType);
  w.DefaultExt = p.DefaultExt;
  w.Attributes = EngineAttributes(p.Attributes);
  w.AttributesEx = EngineAttributes(p.AttributesEx);
  w.DeleteOptions = p.DeleteOptions;
  w.CompressionMethod = p.CompressionMethod;
  w.DeflateType = p.DeflateType;
  w.StoreFilesOfType = p.StoreFilesOfType;
  w.SetCompressMethod(p.CompressMethod);
  if (p.AddToArchive || p.ArchiveFile != assigned || w.GetArchiveFile().empty() ||
      !plat::FileExists(w.GetArchiveFile())) {
    w.SetArchiveFile(p.ArchiveFile);
    assigned = p.ArchiveFile;
  }
  w.DateAttribute = p.DateAttribute;
  w.StoredDirNames = p.StoredDirNames;
  w.RecurseDirs = p.RecurseDirs;
  w.Switch = p.Switch;
  w.ExcludeSpec = p.ExcludeSpec;
  w.FileSpec = p.FileSpec;
}

void ApplyExtractor(const TExtractorProps& p, zid::TUnBase& x) {
  x.CpuType = p.CpuType;
  x.UseStoredDirs = p.UseStoredDirs;
  x.CreateStoredDirs = p.CreateStoredDirs;
  x.OverwriteMode = p.OverwriteMode;
  x.ConfirmOverwrites = p.ConfirmOverwrites;
  x.RestoreFileAttr = p.RestoreFileAttr;
  x.DateAttribute = p.DateAttribute;
  x.RecurseDirs = p.RecurseDirs;
  // Passwords are asked per operation; none is carried to the next archive.
  x.Password.clear();
  x.Passwords.clear();
  x.SetArchiveFile(p.ArchiveFile);  // runs type detection
  x.FileSpec = p.FileSpec;
  x.SetExtractDir(p.ExtractDir);
}

}  // namespace

int ArchiveEngine::Compress(const TWriterProps& writer) {
  if (cancelFlag_ != nullptr) return 0;  // one operation at a time
  SetFailure(std::string());
  zid::TCompBase* w = parts_->Writer(writer.Kind);
  std::string* assigned = &parts_->assigned[writer.Kind];
  if (w == nullptr) return 0;
  std::string failure;
  w->OnError = [&failure](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    if (failure.empty()) failure = zid::LoadStr(code);
  };
  int count = 0;
  try {
    ApplyWriter(writer, *w, *assigned);
    RunningScope running(*this, w->CancelFlag());
    count = w->Compress();
  } catch (const std::exception&) {
    // Compress keeps its own exceptions; anything else (out of memory while
    // copying the settings) is a failed run like any other.
    count = 0;
  }
  w->OnError = nullptr;
  if (count == 0) SetFailure(failure);
  return count;
}

ExtractResult ArchiveEngine::Extract(const TExtractorProps& extractor) {
  if (cancelFlag_ != nullptr) return {};
  SetFailure(std::string());
  zid::TUnBase* x = parts_->Extractor(extractor.Kind);
  if (x == nullptr) return {};
  EntryTally tally;
  x->OnEnd = [&tally](zid::TZipCommon*, const std::string& name, bool pass) { tally.Verdict(name, pass); };
  x->OnError = [&tally](zid::TZipCommon*, const std::string& name, const std::string& extra, const std::string&,
                        int code) { tally.Error(name, extra, code); };
  if (HasPasswordHandler()) {
    x->OnGetPassword = [this, x, &tally](zid::TZipCommon*, const std::string& name, std::string& password,
                                         bool& tryAgain) {
      const bool again = name == tally.asked;
      tally.asked = name;
      std::string given;
      switch (AskPassword(EntryLabel(name, x->GetExtractDir()), again, given)) {
        case PasswordAnswer::Ok:
          password = given;
          tryAgain = true;
          return;
        case PasswordAnswer::Cancel:
          Cancel();
          break;
        case PasswordAnswer::Skip:
          break;
      }
      tryAgain = false;
    };
  }
  int returned = 0;
  try {
    ApplyExtractor(extractor, *x);
    tally.archive = x->GetArchiveFile();
    RunningScope running(*this, x->CancelFlag());
    returned = x->Extract();
  } catch (const std::exception&) {
  }
  // The tally lives on this frame only; passwords typed are not kept.
  x->OnEnd = nullptr;
  x->OnError = nullptr;
  x->OnGetPassword = nullptr;
  x->Password.clear();
  x->Passwords.clear();

  const zid::TUnBase::TStats& stats = x->Stats();
  ExtractResult r;
  // An extractor that hands no entry to the common loop (an outside library
  // does the work) is taken at its word.
  const bool counted = tally.verdicts > 0 || stats.listed > 0;
  r.Extracted = counted ? static_cast<int>(tally.passed.size()) : returned;
  r.Failed = stats.failed;
  // Entries left out because an earlier password failed count as well.
  r.Encrypted = std::min(r.Failed, std::max(stats.encrypted, static_cast<int>(tally.withoutPassword.size())));
  r.Cancelled = x->Cancelled();
  if (r.Failed > 0 || stats.archiveFailed) SetFailure(tally.failure);
  return r;
}

void ArchiveEngine::GetFileList(const TDirReaderProps& reader, std::vector<std::string>& lines) {
  zid::TRizER& r = parts_->RizER1;
  // The reader refuses a second walk while one runs; so does the window.
  if (r.Busy() || cancelFlag_ != nullptr) {
    lines.clear();
    return;
  }
  try {
    r.RecurseDirs = reader.RecurseDirs;
    r.SetArchiveFile(reader.ArchiveFile);  // runs type detection
    r.FileSpec = reader.FileSpec;
    RunningScope running(*this, r.CancelFlag());
    r.GetFileList(&lines);
  } catch (const std::exception&) {
    lines.clear();
  }
}

void ArchiveEngine::Cancel() {
  if (cancelFlag_) *cancelFlag_ = true;
}

}  // namespace shell
