#include "shell/ArchiveEngine.h"

#include <algorithm>
#include <exception>
#include <map>
#include <new>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidCompBase.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
#include "engine/listing/zidNamePage.h"
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

// Inside a catch: what the window says of the exception that ended an operation.
std::string CaughtFailure() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return zid::LoadStr(zid::E_OUTOFMEMORY);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return zid::LoadStr(zid::E_UNKNOWNERROR);
  }
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

// Copies the window's settings onto a writer.
void ApplyWriter(const TWriterProps& p, zid::TCompBase& w) {
  w.SetArcType(p.ArcType);
  w.DefaultExt = p.DefaultExt;
  w.Attributes = EngineAttributes(p.Attributes);
  w.AttributesEx = EngineAttributes(p.AttributesEx);
  w.DeleteOptions = p.DeleteOptions;
  w.CompressionMethod = p.CompressionMethod;
  w.DeflateType = p.DeflateType;
  w.StoreFilesOfType = p.StoreFilesOfType;
  w.SetCompressMethod(p.CompressMethod);
  w.SetArchiveFile(p.ArchiveFile);
  w.WriteAfresh = !p.AddToArchive;
  w.DateAttribute = p.DateAttribute;
  w.StoredDirNames = p.StoredDirNames;
  w.RecurseDirs = p.RecurseDirs;
  w.Switch = p.Switch;
  w.ExcludeSpec = p.ExcludeSpec;
  w.FileSpec = p.FileSpec;
  w.Password = p.Password;
  if (!p.Password.empty() && !w.SetCipher(p.Cipher)) w.SetCipher(0);
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
  // A window has somebody to ask before an entry that looks like a bomb is stopped.
  x.AskRatioLimit = true;
  // Passwords are asked per operation; none is carried to the next archive.
  x.Password.clear();
  x.Passwords.clear();
  x.SetArchiveFile(p.ArchiveFile);  // runs type detection
  x.NameCharset = p.NameCharset;
  x.FileSpec = p.FileSpec;
  x.SetExtractDir(p.ExtractDir);
}

}  // namespace

int ArchiveEngine::Compress(const TWriterProps& writer) {
  if (cancelFlag_ != nullptr) return 0;  // one operation at a time
  SetFailure(std::string());
  zid::TCompBase* w = parts_->Writer(writer.Kind);
  if (w == nullptr) return 0;
  std::string failure;
  w->OnError = [&failure](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    if (failure.empty()) failure = zid::LoadStr(code);
  };
  int count = 0;
  try {
    ApplyWriter(writer, *w);
    RunningScope running(*this, w->CancelFlag());
    count = w->Compress();
  } catch (...) {
    // Compress keeps its own exceptions; anything else (out of memory while
    // copying the settings) is a failed run like any other.
    count = 0;
    if (failure.empty()) failure = CaughtFailure();
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
  std::string failure;  // the first message of the run
  x->OnError = [&failure](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    if (failure.empty()) failure = zid::LoadStr(code);
  };
  std::string asked;  // the entry the password question was last about
  if (HasPasswordHandler()) {
    x->OnGetPassword = [this, &asked](zid::TZipCommon*, const std::string& name, std::string& password,
                                      bool& tryAgain) {
      const bool again = name == asked;
      asked = name;
      std::string given;
      switch (AskPassword(name, again, given)) {
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
  bool ran = false;
  try {
    ApplyExtractor(extractor, *x);
    RunningScope running(*this, x->CancelFlag());
    x->Extract();
    ran = true;
  } catch (...) {
    // Extract keeps its own exceptions; this is the copying of the settings.
    failure = CaughtFailure();
  }
  // The handlers live on this frame only; passwords typed are not kept.
  x->OnError = nullptr;
  x->OnGetPassword = nullptr;
  x->Password.clear();
  x->Passwords.clear();
  if (!ran) {
    SetFailure(failure);
    return {};
  }

  const zid::TUnBase::TStats& stats = x->Stats();
  ExtractResult r;
  r.Extracted = stats.extracted;
  r.Failed = stats.failed;
  r.Encrypted = stats.encrypted;
  r.Cancelled = *x->CancelFlag();  // by the user (a full disk ends the run too, as a failure)
  if (r.Failed > 0 || stats.archiveFailed) SetFailure(failure);
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
    r.NameCharset = reader.NameCharset;
    RunningScope running(*this, r.CancelFlag());
    r.GetFileList(&lines);
    namePage_ = zid::UsedNamePage(r);  // decided by the walk, kept for the archive
  } catch (...) {
    lines.clear();
    SetFailure(CaughtFailure());
  }
}

void ArchiveEngine::Cancel() {
  if (cancelFlag_) *cancelFlag_ = true;
}

}  // namespace shell
