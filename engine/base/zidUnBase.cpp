#include "engine/base/zidUnBase.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <stdexcept>

#include "engine/base/zidCrc.h"
#include "engine/base/zidMask.h"
#include "engine/base/zidNames.h"
#include "engine/base/zidSafeName.h"
#include "engine/base/zidStreams.h"
#include "engine/listing/zidNamePage.h"
#include "platform/hooks.h"
#include "platform/paths.h"
#include "platform/safeopen.h"

namespace zid {

// ---------------------------------------------------------------------------
// TCustomDClass: the driver

int TCustomDClass::Extract() {
  cancel_ = false;
  BytesTotal = 0;
  BytesRemaining = 0;
  VolumeName = GetArchiveFile();
  StartOperation();

  if (GetArchiveFile().empty()) {
    ReportError(std::string(), std::string(), VolumeName, E_FILENOTFOUND);
    return 0;
  }
  if (!OpensArchiveItself() && !OpenArchive(GetArchiveFile())) return 0;

  const std::string savedArchive = GetArchiveFile();
  try {
    if (OnActivate) OnActivate(this);
    if (OnElapsedTime) timer_.Start();
    FileName.clear();
    BytesTotal = BytesRemaining = archiveSize_;
    TNamePageScope names(OperationNamePage(*this));
    ProcessArchive();
  } catch (...) {
    ReportCaught();  // the count says how far it got
  }
  try {
    if (timer_.Running()) {
      timer_.Stop();
      if (OnElapsedTime) OnElapsedTime(this, timer_.ElapsedTime());
    }
    if (OnDeactivate) OnDeactivate(this);
  } catch (...) {
    ReportCaught();
  }
  FinishOperation();
  det_.ArchiveFile = savedArchive;
  CloseArchive();
  return ExtractedCount();
}

bool TCustomDClass::CheckCrc(uint8_t crcKind, uint32_t stored) {
  (void)crcKind;
  (void)stored;
  return !Cancelled();
}

bool TCustomDClass::OpensArchiveItself() const { return false; }

// ---------------------------------------------------------------------------
// TUnBase

bool PasswordCode(int code) {
  return code == E_PASSWORDFAILED || code == E_INVALIDPASSWORD || code == E_PASSWORDPROTECTED;
}

void TUnBase::TStats::Add(const TEntryReport& r) {
  ++listed;
  switch (r.verdict) {
    case TVerdict::Passed: ++extracted; [[fallthrough]];
    case TVerdict::Folder: ++passed; break;
    case TVerdict::Skipped: ++skipped; break;
    case TVerdict::Failed:
      ++failed;
      if (PasswordCode(r.code)) ++encrypted;
      break;
  }
}

TUnBase::TUnBase() = default;

TUnBase::~TUnBase() { CloseOutputHandle(); }

void TUnBase::StartOperation() {
  if (CpuType == cpt80486) CpuType = cptAuto;
  MaxFileDate = 0;
  stats_ = TStats{};
  reportOpen_ = diskFull_ = false;
  lastCode_ = 0;
  ratioStops_ = 0;
  folderTimes_.clear();
  // The target folder is made when missing; the folders below it as files need them.
  if (DiskOutput() && !extractDir_.empty() && !plat::DirectoryExists(extractDir_) &&
      !plat::ForceDirectories(extractDir_))
    ReportError(extractDir_, plat::ErrorText(plat::LastError()), VolumeName, E_CREATEDIRERROR);
}

void TUnBase::RejectEntry(const TEntry& e, int code, const std::string& extra) {
  if (MatchesSpec(e.storedName, RecurseDirs)) {
    if (code != 0) ReportError(e.storedName, extra, VolumeName, code);
    OpenReport(e.storedName);
    CloseReport(TVerdict::Failed, TEntryResult::Refused, code != 0 ? code : lastCode_, code != 0 ? extra : lastExtra_);
  }
  SkipEntry(e.packedSize);
}

void TUnBase::HeaderFailed(const std::string& where, int code, const std::string& extra) {
  ReportError(where, extra, VolumeName, code);
  OpenReport(std::string());
  CloseReport(TVerdict::Failed, TEntryResult::Failed, code, extra);
}

void TUnBase::ReportError(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                          int eCode) {
  lastCode_ = cancel_ ? E_USERCANCELED : eCode;
  lastExtra_ = extendedMsg;
  if (reportOpen_ && report_.code == 0) {
    report_.code = lastCode_;
    report_.extra = extendedMsg;
  }
  TCustomDClass::ReportError(fileName, extendedMsg, volumeID, eCode);
}

void TUnBase::OpenReport(const std::string& storedName) {
  // Field by field, so the strings keep their storage from entry to entry.
  report_.storedName = storedName;
  report_.outputPath.clear();
  report_.verdict = TVerdict::Failed;
  report_.code = 0;
  report_.extra.clear();
  reportOpen_ = true;
}

TUnBase::TEntryResult TUnBase::CloseReport(TVerdict verdict, TEntryResult result, int code, const std::string& extra) {
  report_.verdict = verdict;
  if (code != 0) {
    report_.code = code;
    report_.extra = extra;
  }
  if (verdict == TVerdict::Passed || verdict == TVerdict::Folder) {
    report_.code = 0;
    report_.extra.clear();
  } else {
    report_.outputPath.clear();  // nothing of it stays on disk
  }
  // The words of a password error are the password that failed.
  if (PasswordCode(report_.code)) report_.extra.clear();
  reportOpen_ = false;
  stats_.Add(report_);
  if (OnEnd) OnEnd(this, report_);
  return result;
}

void TUnBase::ArchiveFailed(int code, const std::string& extra) {
  stats_.archiveFailed = true;
  ReportError(GetArchiveFile(), extra, VolumeName, code);
}

bool TUnBase::DecodeResultOk(int result, int64_t produced, int64_t expected) {
  switch (result) {
    case drOk:
      if (expected < 0 || produced == expected) return true;
      ReportError(FileName, std::to_string(produced) + " of " + std::to_string(expected) + " bytes", VolumeName,
                  E_CORRUPTINPUT);
      return false;
    case drOutputFailed: return false;  // the write service has reported it
    case drInputExhausted: ReportError(FileName, std::string(), VolumeName, E_READERROR); return false;
    case drInvalidData: ReportError(FileName, std::string(), VolumeName, E_BADBLOCK); return false;
    case drStackOverflow: ReportError(FileName, std::string(), VolumeName, E_STACKOVERFLOW); return false;
    case drCancelled: return false;
    default: ReportError(FileName, std::string(), VolumeName, E_UNSUPPORTEDMETHOD); return false;
  }
}

TDecodeSource TUnBase::EntrySource(int64_t offset, int64_t packed) {
  sourcePos_ = offset;
  sourceLeft_ = std::max<int64_t>(0, packed);
  TDecodeSource src;
  src.budget = sourceLeft_;
  src.read = [this](uint8_t* buf, int64_t count) -> int64_t {
    if (archive_ == nullptr || sourceLeft_ <= 0 || count <= 0) return 0;
    count = std::min(count, sourceLeft_);
    if (archive_->Seek(sourcePos_, 0) != sourcePos_) return 0;
    const int64_t got = archive_->Read(buf, count);
    if (got <= 0) return 0;
    sourcePos_ += got;
    sourceLeft_ -= got;
    BytesRemaining = std::max<int64_t>(0, BytesRemaining - got);
    return got;
  };
  return src;
}

TDecodeJob TUnBase::EntryJob(TDecodeSource source, int64_t expected, int64_t& produced, TDecodeSink sink) {
  TDecodeJob job;
  job.source = std::move(source);
  produced = 0;
  // The usual sink, the entry's output, is kept small enough for
  // std::function to hold without allocating.
  if (sink.write) {
    job.sink.write = [&produced, to = std::move(sink.write)](const uint8_t* buf, int64_t n) -> int64_t {
      const int64_t took = to(buf, n);
      if (took > 0) produced += took;
      return took;
    };
  } else {
    job.sink.write = [this, &produced](const uint8_t* buf, int64_t n) -> int64_t {
      if (!WriteOutput(buf, n)) return 0;
      if (n > 0) produced += n;
      return n;
    };
  }
  job.cancel = CancelFlag();
  job.expectedSize = expected;
  job.progress = [this](int64_t) { EntryProgress(); };
  return job;
}

void TUnBase::FinishOperation() {
  CloseOutputHandle();
  for (const auto& [path, when] : folderTimes_) plat::FileSetDate(path, when);
  folderTimes_.clear();
}

int TUnBase::ExtractTest() {
  uint8_t saved = OutputMode;
  OutputMode = omTest;
  int n = 0;
  try {
    n = Extract();
  } catch (...) {
    ReportCaught();
  }
  OutputMode = saved;
  return n;
}

void TUnBase::SetExtractDir(const std::string& dir) {
  if (!dir.empty()) {
    extractDir_ = plat::IncludeTrailingPathDelimiter(plat::ExpandFileName(plat::ToNative(dir)));
  } else if (!GetArchiveFile().empty()) {
    extractDir_ = plat::ExtractFilePath(GetArchiveFile());
  } else {
    extractDir_.clear();
  }
}

void TUnBase::SetOutputPath(const std::string& path) {
  outPath_ = path;
  outRoot_ = plat::ExtractFilePath(path);
  outRel_.assign(1, plat::ExtractFileName(path));
}

bool TUnBase::BuildOutputName(const std::string& storedName, bool unixName) {
  outPath_.clear();
  outRel_.clear();
  if (extractDir_.empty()) {
    extractDir_ = plat::ExtractFilePath(GetArchiveFile());
    if (extractDir_.empty()) extractDir_ = plat::IncludeTrailingPathDelimiter(plat::GetCurrentDir());
  }
  outRoot_ = extractDir_;
  // Nothing goes to disk: a name that stays as it is needs no components.
  size_t parts = 0;
  if (!DiskOutput() && PlainEntryPath(storedName, !unixName, &parts)) {
    if (parts > plat::kMaxFolderDepth && UseStoredDirs) {
      ReportError(storedName, std::string(), VolumeName, E_TOOMANYDIRS);
      return false;
    }
    return true;
  }
  std::string why, cut;
  if (!SplitEntryPath(storedName, outRel_, &why, &cut, !unixName)) {
    ReportError(storedName, why, VolumeName, E_BADFILENAME);
    return false;
  }
  // A root, drive or network prefix or a climbing ".." would lead outside the
  // folder: cut, and said once with the name the entry gets instead.
  if (!cut.empty() && (DiskOutput() || OutputMode == omTest) && UseStoredDirs)
    ReportError(storedName,
                "the name leaves the extraction folder: \"" + cut + "\" cut, " +
                    (OutputMode == omTest ? "tested as \"" : "written as \"") +
                    JoinComponents(outRel_, outRel_.size()) + "\"",
                VolumeName, E_BADFILENAME);
  if (!UseStoredDirs) outRel_.erase(outRel_.begin(), outRel_.end() - 1);
  if (outRel_.size() > plat::kMaxFolderDepth) {
    outRel_.clear();
    ReportError(storedName, std::string(), VolumeName, E_TOOMANYDIRS);
    return false;
  }
  outRoot_ = extractDir_;
  if (DiskOutput()) outPath_ = outRoot_ + JoinComponents(outRel_, outRel_.size());
  return true;
}

bool TUnBase::TargetExists(plat::FileInfo* info) const {
  plat::FileInfo fi = plat::StatBeneath(outRoot_, outRel_);
  if (info) *info = fi;
  return fi.exists;
}

bool TUnBase::BeginEntry(const TEntry& e) {
  TStopwatchPause pause(timer_);
  const bool disk = DiskOutput();
  if (OnBegin) {
    if (disk && OnRenameFile) {
      std::string newName;
      OnRenameFile(this, outPath_, newName);
      if (!newName.empty()) {
        SetOutputPath(plat::ExpandFileName(plat::ToNative(newName)));
        plat::ForceDirectories(outRoot_);
      }
    }
    bool extract = true;
    OnBegin(this, disk ? outPath_ : e.storedName, stats_.extracted + 1, extract);
    if (Cancelled() || !extract) return false;
  }
  if (Cancelled()) return false;
  bool accepted;
  if (disk && ConfirmOverwrites) {
    OverwriteMode = omOverwrite;
    if (TargetExists()) {
      if (OnFileExists) {
        do {
          std::string newName;
          OnFileExists(this, outPath_, newName, OverwriteMode);
          if (newName.empty()) break;  // the same name
          std::string path = plat::ExpandFileName(plat::ToNative(newName));
          plat::ForceDirectories(plat::ExtractFilePath(path));
          if (plat::SameText(path, outPath_)) break;
          if (OverwriteMode == omOverwrite) SetOutputPath(path);
        } while (!Cancelled() && OverwriteMode != omSkip && TargetExists());
        plat::FileInfo fi;
        if (OverwriteMode == omOverwrite && !Cancelled() && TargetExists(&fi) && (fi.attr & plat::faReadOnly)) {
          if (fi.isDir || (fi.attr & plat::faSysFile)) {
            ReportError(FileName, std::string(), VolumeName, E_WRITEERROR);
            return false;
          }
          plat::MakeWritableBeneath(outRoot_, outRel_);
        }
      } else {
        ReportError(FileName, "OnFileExists", VolumeName, E_REQUIREDEVENT);
        OverwriteMode = omSkip;
      }
    }
    accepted = !Cancelled() && OverwriteMode == omOverwrite && !outPath_.empty();
  } else if (disk) {
    accepted = OverwriteMode == omOverwrite;
  } else {
    accepted = true;
  }
  return accepted;
}

bool TUnBase::CheckPassword(const std::function<bool(const std::string&)>& verify) {
  TStopwatchPause pause(timer_);
  if (verify(Password)) return true;
  for (const std::string& p : Passwords) {
    Password = p;
    if (verify(Password)) return true;
  }
  if (!OnGetPassword) {
    // A password was given and is wrong: say that. None at all: nobody to ask.
    if (!Password.empty() || !Passwords.empty()) ReportError(FileName, std::string(), VolumeName, E_INVALIDPASSWORD);
    else ReportError(FileName, "OnGetPassword", VolumeName, E_REQUIREDEVENT);
    return false;
  }
  for (int attempt = 0; attempt < PasswordAttempts && !Cancelled(); ++attempt) {
    bool tryAgain = true;
    OnGetPassword(this, FileName, Password, tryAgain);
    if (!tryAgain) {
      ReportError(FileName, LoadStr(E_USERCANCELED), VolumeName, E_INVALIDPASSWORD);
      return false;
    }
    if (verify(Password)) {
      Passwords.insert(Passwords.begin(), Password);
      return true;
    }
    ReportError(FileName, Password, VolumeName, E_INVALIDPASSWORD);
    Password.clear();
  }
  return false;
}

bool TUnBase::OutputRefused(int64_t declaredSize) {
  plat::FileInfo target = plat::StatBeneath(outRoot_, outRel_);
  if (target.exists && !target.isLink) {
    uint64_t dev = 0, ino = 0;
    bool known = archive_ != nullptr && plat::HandleIdentity(archive_->Handle(), dev, ino);
    if (!known) {
      const plat::FileInfo a = plat::FileStat(GetArchiveFile());
      known = a.exists;
      dev = a.device;
      ino = a.inode;
    }
    if (known && dev == target.device && ino == target.inode) {
      ReportError(FileName, "it is the archive being read", VolumeName, E_SAMEFILE);
      return true;
    }
  }
  // A declared size that cannot fit is refused before anything is written
  // (a small archive claiming gigabytes of zeros would otherwise fill the disk).
  constexpr int64_t kCheckFrom = int64_t{1} << 20;
  if (declaredSize > kCheckFrom) {
    const int64_t free = plat::DiskFree(outRoot_);
    if (free >= 0 && declaredSize > free) {
      ReportError(FileName, std::to_string(declaredSize) + " bytes, " + std::to_string(free) + " free", VolumeName,
                  E_DISKFULL);
      return true;
    }
  }
  return false;
}

bool TUnBase::OpenOutput() {
  entryDone_ = 0;
  lastWasCR_ = false;
  switch (OutputMode) {
    case omToFile:
    case omAppendFile: {
      CloseOutputHandle();
      if (OutputRefused(entryTotal_)) return false;
      out_ = pending_.Open(outRoot_, outRel_,
                           OutputMode == omAppendFile ? plat::Existing::Append : plat::Existing::Truncate);
      if (out_ < 0) {
        ReportError(FileName, plat::ErrorText(plat::LastError()), VolumeName, E_OPENERROR);
        return false;
      }
      return true;
    }
    case omToStream1: return OutputStream1 != nullptr;
    case omToStream2: return OutputStream2 != nullptr;
    default: return true;
  }
}

void TUnBase::BeginChecksum(uint8_t kind) {
  crcKind_ = kind;
  crcRunning_ = kind == 32 ? kCrc32Init : 0;
}

uint32_t TUnBase::ComputedCrc() const { return crcKind_ == 32 ? crcRunning_ ^ 0xFFFFFFFFu : crcRunning_; }

bool TUnBase::WriteOutput(const uint8_t* buf, int64_t count) {
  if (count <= 0) return true;
  // ASCII translation writes each bare LF as CR LF; done in small pieces.
  uint8_t translated[8192];
  int64_t pos = 0;
  while (pos < count) {
    const uint8_t* piece = buf + pos;
    int64_t n = count - pos;
    if (asciiTranslate_) {
      int64_t k = 0;
      n = 0;
      while (pos + n < count && k + 2 <= static_cast<int64_t>(sizeof translated)) {
        uint8_t c = buf[pos + n++];
        if (c == '\n' && !lastWasCR_) translated[k++] = '\r';
        translated[k++] = c;
        lastWasCR_ = c == '\r';
      }
      piece = translated;
      pos += n;
      n = k;
    } else {
      pos = count;
    }
    if (crcKind_ == 32) UpdateCrc32(piece, n, crcRunning_);
    else if (crcKind_ == 16) UpdateCrc16(piece, n, crcRunning_);
    if (linkData_ != nullptr && !AppendLinkData(piece, n)) return false;
    int64_t written = n;
    switch (linkData_ != nullptr ? uint8_t{omTest} : OutputMode) {
      case omToFile:
      case omAppendFile:
        plat::SetLastError(0);
        written = plat::FileWrite(out_, piece, n);
        break;
      case omToStream1: written = OutputStream1 ? OutputStream1->Write(piece, n) : 0; break;
      case omToStream2: written = OutputStream2 ? OutputStream2->Write(piece, n) : 0; break;
      case omToMemory: {
        int64_t room = OutputMemory ? OutputMemorySize : 0;
        written = std::min(room, n);
        if (written > 0) {
          std::copy(piece, piece + written, OutputMemory);
          OutputMemory += written;
          OutputMemorySize -= written;
        }
        break;
      }
      default: break;  // test mode: counted only
    }
    entryDone_ += n;
    if (!RatioAllows(entryDone_)) return false;
    if (written != n) {
      // A full disk ends the operation (Cancelled): the decoder sees a short write like any other.
      const int err = plat::LastError();
      diskFull_ = DiskOutput() && plat::IsDiskFullError(err);
      // A file-size limit (ulimit -f) is said as it is.
      ReportError(FileName, err == EFBIG ? plat::ErrorText(err) : diskFull_ ? outPath_ : std::string(), VolumeName,
                  diskFull_ ? E_DISKFULL : E_WRITEERROR);
      return false;
    }
  }
  return true;
}

bool TUnBase::RatioAllows(int64_t done) {
  if (ratioAllowed_ || RatioLimitBytes <= 0 || RatioLimitFactor <= 0 || done <= RatioLimitBytes) return true;
  const int64_t packed = std::max<int64_t>(entryPacked_, 1);
  if (done / packed < RatioLimitFactor) return true;
  const std::string what = "it unpacks to more than " + std::to_string(RatioLimitBytes) + " bytes and " +
                           std::to_string(RatioLimitFactor) + " times its packed size of " + std::to_string(packed) +
                           " (a decompression bomb?)";
  if (AskRatioLimit) {
    TStopwatchPause pause(timer_);
    const plat::MsgResult answer =
        plat::MessageBox(plat::MsgKind::Question, plat::ApplicationTitle(), FileName + ":\r\r" + what + ".\r\rGo on?");
    if (answer == plat::MsgResult::Yes) {
      ratioAllowed_ = true;
      return true;
    }
  }
  ++ratioStops_;
  ReportError(FileName, what + ": stopped", VolumeName, E_SKIPPEDFILE);
  return false;
}

bool TUnBase::WriteHole(int64_t count) {
  if (count <= 0) return true;
  if (OutputMode == omToFile && out_ != plat::kNoHandle && linkData_ == nullptr && !asciiTranslate_ &&
      crcKind_ != 32 && crcKind_ != 16) {
    const int64_t end = plat::FileSeek(out_, count, plat::soFromCurrent);
    if (end >= 0 && plat::FileTruncate(out_, end)) {
      entryDone_ += count;
      return true;
    }
  }
  const uint8_t zeros[8192] = {};
  for (int64_t left = count; left > 0;) {
    const int64_t n = std::min<int64_t>(left, sizeof zeros);
    if (!WriteOutput(zeros, n)) return false;
    left -= n;
  }
  return true;
}

void TUnBase::CloseOutputHandle() {
  pending_.Discard();
  out_ = plat::kNoHandle;
}

int64_t TUnBase::OutputTime(const TEntry& e) const {
  switch (DateAttribute) {
    case daSysDate: return plat::DateTimeToUnix(plat::Now());
    case daMaxFileDate: return plat::DosDateTimeToUnix(MaxFileDate);
    default: return e.unixTime >= 0 ? e.unixTime : plat::DosDateTimeToUnix(e.dosDate);
  }
}

bool TUnBase::CloseOutput(const TEntry& e, bool keep) {
  if (!DiskOutput() || out_ < 0) return true;
  if (!keep) {
    CloseOutputHandle();
    return true;
  }
  const int64_t when = OutputTime(e);
  if (when >= 0) plat::FileSetDate(out_, when);
  if (RestoreFileAttr) {
    // Unix hosts store permission bits; never setuid, setgid or sticky, and
    // under the umask, as tar does for a user: a 0777 entry does not open a
    // file to everyone the user's umask keeps out.
    if (e.unixMode & 0777) plat::HandleSetMode(out_, e.unixMode & 0777 & ~plat::UMask());
    if (e.attr != 0x20 && (e.attr & plat::faReadOnly)) plat::HandleSetReadOnly(out_, true);
  }
  const bool closed = pending_.CloseHandle();
  out_ = plat::kNoHandle;
  if (!closed) {
    pending_.Discard();
    ReportError(FileName, std::string(), VolumeName, E_CLOSEERROR);
    return false;
  }
  if (!pending_.Commit()) {
    ReportError(FileName, plat::ErrorText(plat::LastError()), VolumeName, E_WRITEERROR);
    return false;
  }
  report_.outputPath = outPath_;
  return true;
}

bool TCustomDClass::CheckCrcAgainst(uint32_t computed, uint32_t stored) {
  if (Cancelled()) return false;
  return stored == computed || stored == (computed ^ 0xFFFFFFFFu);
}

void TUnBase::SkipEntry(int64_t packedSize) {
  BytesRemaining -= std::max<int64_t>(0, packedSize);
  if (BytesRemaining < 0) BytesRemaining = 0;
  ReportProgress(0, 0);
}

TUnBase::TEntryResult TUnBase::ExtractEntry(const TEntry& e, TFuncRef<bool()> decode,
                                            const std::function<bool(const std::string&)>& verify) {
  FileName = e.storedName;
  if (diskFull_ || !MatchesSpec(e.storedName, RecurseDirs)) {
    SkipEntry(e.packedSize);
    return TEntryResult::NotSelected;
  }
  if (e.dosDate > MaxFileDate) MaxFileDate = e.dosDate;
  OpenReport(e.storedName);
  if (!BuildOutputName(e.storedName, e.unixName)) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Failed, TEntryResult::Refused);
  }
  if (e.isDir) {
    if (CreateStoredDirs && OutputMode == omToFile && UseStoredDirs) {
      if (plat::CreateDirsBeneath(outRoot_, outRel_)) {
        report_.outputPath = outPath_;
        const int64_t when = OutputTime(e);
        if (when >= 0 && !outPath_.empty()) folderTimes_.emplace_back(outPath_, when);
      }
      else ReportError(FileName, plat::ErrorText(plat::LastError()), VolumeName, E_CREATEDIRERROR);
    }
    return CloseReport(TVerdict::Folder, TEntryResult::Folder);
  }
  // A link whose target is its data stays a file wherever no link is made.
  if ((e.isSymlink || e.isHardLink) && (!e.linkInData || MakesLinks())) return ExtractLink(e, decode, verify);
  if (!BeginEntry(e)) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Skipped, TEntryResult::Skipped);
  }
  if (e.encrypted && verify && !CheckPassword(verify)) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Failed, TEntryResult::Skipped, E_PASSWORDFAILED);
  }
  entryTotal_ = e.unpackedSize;
  entryPacked_ = e.packedSize;
  ratioAllowed_ = false;
  if (!OpenOutput()) {
    SkipEntry(e.packedSize);
    return CloseReport(TVerdict::Failed, TEntryResult::Failed);
  }
  BeginChecksum(e.crcKind);
  bool decoded = decode();
  bool pass = decoded && CheckCrc(e.crcKind, e.crc);
  const bool keep = decoded && (pass || KeepFailedFiles);
  if (!CloseOutput(e, keep) && keep) decoded = false;
  if (!decoded) return CloseReport(TVerdict::Failed, TEntryResult::Failed);
  return EndEntry(pass);
}

TUnBase::TEntryResult TUnBase::EndEntry(bool pass) {
  if (pass) return CloseReport(TVerdict::Passed, TEntryResult::Extracted);
  if (!OnEnd && !Cancelled()) ReportError(FileName, std::string(), VolumeName, E_CRCERROR);
  return CloseReport(TVerdict::Failed, TEntryResult::Failed, Cancelled() ? E_USERCANCELED : E_CRCERROR);
}

bool TUnBase::CheckCrc(uint8_t crcKind, uint32_t stored) {
  if (crcKind != 32 && crcKind != 16) return !Cancelled();
  uint32_t computed = ComputedCrc();
  if (crcKind == 16) {
    if (Cancelled()) return false;
    return (stored & 0xFFFF) == (computed & 0xFFFF) || (stored & 0xFFFF) == (~computed & 0xFFFF);
  }
  return CheckCrcAgainst(computed, stored);
}

}  // namespace zid
