// Temporary archive streams and the default publishing moves.
#include "engine/base/zidTempStreams.h"

#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidGbls.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace zid {
namespace {

std::string DirOf(const std::string& path) {
  std::string d = plat::ExtractFileDir(plat::ToNative(path));
  return d.empty() ? plat::GetCurrentDir() : d;
}

// Raises the write failure with the system's error kept for the caller.
[[noreturn]] void RaiseWriteError(int err) {
  plat::SetLastError(err);
  const int code = plat::IsDiskFullError(err) ? E_DISKFULL : E_WRITEERROR;
  throw E_RAISE(LoadStr(code), code);
}

}  // namespace

// ---------------------------------------------------------- TTempStreamOwner

void TTempStreamOwner::TmpMoveBegin(TStream32&, const std::string&, bool*, const std::string&) {}
void TTempStreamOwner::TmpMoveEnd(TStream32&, const std::string&) {}
void TTempStreamOwner::TmpProgress(const std::string&, int64_t, int64_t) {}
void TTempStreamOwner::TmpReportError(int, const std::string&) {}

std::unique_ptr<TStream32> TTempStreamOwner::TmpCreateTarget(const std::string& name) {
  return std::make_unique<TFileStream32>(name, plat::fmCreate);
}

void TTempStreamOwner::TmpMove(TStream32& stream, const std::string& finalName, bool sameDrive,
                               const std::string& tempName) {
  const bool fromMemory = tempName == kMemTempName;
  // The new archive keeps the permissions of the one it replaces; a new one
  // gets the usual ones (temporary files are created private).
  const plat::FileInfo old = plat::FileStat(finalName);
  const uint32_t mode = old.exists && !old.isLink ? (old.mode & 0777) : plat::NewFileMode();
  if (sameDrive && !fromMemory) {
    plat::FileSetMode(tempName, mode);
    if (plat::RenameFile(tempName, finalName)) return;
  }

  std::unique_ptr<TFileStream32> tempFile;
  TStream32* source = &stream;
  if (!fromMemory) {
    tempFile = std::make_unique<TFileStream32>(tempName, plat::fmOpenRead | plat::fmShareDenyWrite);
    if (tempFile->Handle() < 0) throw E_RAISE(LoadStr(E_OPENERROR), E_OPENERROR);
    source = tempFile.get();
  }
  const int64_t total = source->Size();
  if (total < 0 || source->Seek(0, plat::soFromBeginning) < 0) throw E_RAISE(LoadStr(E_READERROR), E_READERROR);

  // The copy goes to a new file beside the final name and replaces it only
  // when complete: a full disk never leaves a truncated archive behind.
  const std::string partName = plat::CreateTempFileName(DirOf(finalName), "zid");
  if (partName.empty()) throw E_RAISE(LoadStr(E_OPENERROR), E_OPENERROR);
  try {
    std::unique_ptr<TStream32> target = TmpCreateTarget(partName);
    auto* ft = dynamic_cast<THandleStream32*>(target.get());
    if (target == nullptr || (ft != nullptr && ft->Handle() < 0)) throw E_RAISE(LoadStr(E_OPENERROR), E_OPENERROR);
    std::vector<uint8_t> buf(static_cast<size_t>(kTempCopyChunk));
    int64_t done = 0;
    while (done < total) {
      plat::ProcessMessages();
      const int64_t want = total - done < kTempCopyChunk ? total - done : kTempCopyChunk;
      const int64_t got = source->Read(buf.data(), want);
      if (got <= 0) throw E_RAISE(LoadStr(E_READERROR), E_READERROR);
      plat::SetLastError(0);
      if (target->Write(buf.data(), got) != got) RaiseWriteError(plat::LastError());
      done += got;
      TmpProgress(finalName, done, total);
    }
    target.reset();
    plat::FileSetMode(partName, mode);
    if (!plat::RenameFile(partName, finalName)) RaiseWriteError(plat::LastError());
  } catch (...) {
    const int err = plat::LastError();
    plat::DeleteFile(partName);
    plat::SetLastError(err);
    throw;
  }
}

// ------------------------------------------------------------ TTempPublisher

TTempPublisher::TTempPublisher(TTempStreamOwner* owner, bool* cancel, const std::string& finalName)
    : owner_(owner), cancel_(cancel != nullptr ? cancel : &localCancel_), finalName_(finalName) {}

// ----------------------------------------------------------- TTempFileStream

TTempFileStream::TTarget TTempFileStream::MakeTemp(int mode, const std::string& finalName,
                                                   const std::string& tempDir) {
  TTarget t;
  if (mode != plat::fmCreate) {
    t.name = finalName;
    return t;
  }
  std::string dir = plat::ToNative(tempDir);
  if (!dir.empty() && !plat::DirectoryExists(dir) && !plat::ForceDirectories(dir)) dir.clear();
  if (dir.empty()) dir = plat::TempFolder();
  // The folder is chosen first, the kind of file second: an unnamed file where
  // the file system has them, else a named one in the same folder.
  for (const std::string& d : {dir, plat::TempFolder()}) {
    t.unnamed = plat::CreateUnnamedFile(d);
    if (t.unnamed >= 0) {
      const std::string folder = plat::ExcludeTrailingPathDelimiter(d);
      t.dir = folder.empty() ? "/" : folder;
      return t;
    }
    t.name = plat::CreateTempFileName(d, "zid");
    if (!t.name.empty() || d == plat::TempFolder()) break;
  }
  return t;
}

TTempFileStream::TTempFileStream(TTempStreamOwner* owner, int mode, const std::string& finalName,
                                 const std::string& tempDir, bool* cancel)
    : TTempFileStream(owner, mode, finalName, MakeTemp(mode, finalName, tempDir), cancel) {}

TTempFileStream::TTempFileStream(TTempStreamOwner* owner, int mode, const std::string& finalName, TTarget target,
                                 bool* cancel)
    : TFileStream32(target.name, mode == plat::fmCreate ? plat::fmOpenReadWrite : mode),
      TTempPublisher(owner, cancel, finalName),
      isTemp_(mode == plat::fmCreate) {
  if (target.unnamed >= 0) {
    handle_ = target.unnamed;
    tempDir_ = target.dir;
    unnamed_ = true;
  } else if (isTemp_) {
    // The temporary file was created empty and exclusively; it is opened,
    // never re-created, so a link planted under its name is not followed.
    tempName_ = fileName_;
    tempDir_ = plat::ExtractFileDir(tempName_);
    if (tempName_.empty()) isTemp_ = false;
  }
  Cancel = cancel_;
}

TTempFileStream::~TTempFileStream() {
  if (!done_) Discard();
}

int64_t TTempFileStream::Read(void* buffer, int64_t count) {
  const int64_t n = THandleStream32::Read(buffer, count);
  if (n > 0 && ProgressProc && Remaining != nullptr && *Remaining > 0) ProgressProc(n);
  return n;
}

void TTempFileStream::Discard() {
  done_ = true;
  Close();
  if (isTemp_ && !tempName_.empty()) plat::DeleteFile(tempName_);
}

void TTempFileStream::NameUnnamed(bool sameDrive) {
  // Beside the final name the publish is one rename; in its own folder the
  // file is copied across as a named temporary file always was.
  std::string name;
  if (sameDrive) name = plat::NameUnnamedFile(handle_, DirOf(finalName_), "zid");
  if (name.empty()) name = plat::NameUnnamedFile(handle_, tempDir_, "zid");
  if (name.empty()) RaiseWriteError(plat::LastError());
  tempName_ = name;
  fileName_ = name;
}

bool TTempFileStream::Publish() {
  if (done_) return false;
  if (!isTemp_) {
    done_ = true;
    Close();
    return true;
  }
  if (CancelRequested() || handle_ < 0) {
    Discard();
    return false;
  }
  const int64_t size = Size();
  const bool sameDrive = plat::FileSystemId(tempDir_) == plat::FileSystemId(DirOf(finalName_));
  done_ = true;
  try {
    if (unnamed_) NameUnnamed(sameDrive);  // while the handle still holds the file
    Close();
    Owner().TmpMoveBegin(*this, finalName_, cancel_, tempName_);
    if (CancelRequested()) {
      plat::DeleteFile(tempName_);
      return false;
    }
    Owner().TmpMove(*this, finalName_, sameDrive, tempName_);
  } catch (...) {
    const int err = plat::LastError();
    Close();
    if (!tempName_.empty()) plat::DeleteFile(tempName_);
    if (plat::IsDiskFullError(err)) Owner().TmpReportError(E_DISKFULL, finalName_);
    plat::SetLastError(err);
    throw;
  }
  plat::DeleteFile(tempName_);  // after a copy; a rename left nothing behind
  if (size > kMoveEndThreshold) Owner().TmpMoveEnd(*this, finalName_);
  return true;
}

// ------------------------------------------------------------ TTempMemStream

TTempMemStream::TTempMemStream(TTempStreamOwner* owner, int mode, const std::string& finalName, bool* cancel)
    : TTempPublisher(owner, cancel, finalName), isTemp_(mode == plat::fmCreate) {
  Cancel = cancel_;
}

void TTempMemStream::Discard() {
  done_ = true;
  Clear();
}

bool TTempMemStream::Publish() {
  if (done_) return false;
  done_ = true;
  if (!isTemp_) return true;
  if (CancelRequested()) return false;
  try {
    Owner().TmpMoveBegin(*this, finalName_, cancel_, kMemTempName);
    if (CancelRequested()) return false;
    Owner().TmpMove(*this, finalName_, false, kMemTempName);
  } catch (...) {
    const int err = plat::LastError();
    if (plat::IsDiskFullError(err)) Owner().TmpReportError(E_DISKFULL, finalName_);
    plat::SetLastError(err);
    throw;
  }
  Owner().TmpMoveEnd(*this, finalName_);
  return true;
}

}  // namespace zid
