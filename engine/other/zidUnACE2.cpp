#include "engine/other/zidUnACE2.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidNames.h"
#include "platform/ace/ace_headers.h"
#include "platform/ace/unace.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr size_t kFileListSize = 0x2FFFF;
constexpr size_t kMaxTempDir = 255;

const char* const kEntryPoints[] = {"ACEInitDll", "ACEReadArchiveData", "ACEList", "ACETest", "ACEExtract"};

int EngineCode(int libraryError) {
  switch (libraryError) {
    case ace::kErrorOpen: return E_OPENERROR;
    case ace::kErrorRead:
    case ace::kErrorTruncated: return E_READERROR;
    case ace::kErrorVolumeOrder: return E_VOLUMEORDER;
    default: return E_BADFILEHEADER;
  }
}

}  // namespace

TUnACE::TUnACE() = default;
TUnACE::~TUnACE() = default;

std::string TUnACE::VolumeFileName(const std::string& name, int n) {
  if (name.empty() || n < 0) return std::string();
  std::string ext = ".";
  if (n < 100) {
    ext += VolumeLetter();
    if (n < 10) ext += '0';
  }
  ext += std::to_string(n);
  return ace::ExistingVolumeCase(plat::ChangeFileExt(name, ext));
}

std::string TUnACE::BuildFileList() const {
  std::string list;
  for (const std::string& mask : FileSpec) {
    if (list.size() + mask.size() + 1 > kFileListSize) break;
    list += mask + '\r';
  }
  return list.empty() ? std::string("*") : list;
}

std::string TUnACE::StoredName(const std::string& raw) const {
  TNameOrigin origin;
  origin.unixHost = true;  // valid UTF-8 stays, anything else is CP437
  origin.translateOem = TranslateOemChar;
  return DecodeEntryName(raw, origin);
}

// ---------------------------------------------------------------------------
// The operation

void TUnACE::ProcessArchive() {
  processed_ = 0;
  anyEntry_ = false;
  decoding_ = false;
  progressOf_ = -1;
  packedSeen_ = 0;
  VolumeName = GetArchiveFile();
  BytesTotal = BytesRemaining = 0;

  bool loaded = ace::kLibraryPresent;
  for (const char* name : kEntryPoints) loaded = loaded && ace::TUnAce::HasEntryPoint(name);
  if (!loaded) return ArchiveFailed(E_ACELIBRARY);

  ace::TUnAce lib;
  ace::TInitDll init;
  init.tempDir = plat::TempFolder().substr(0, kMaxTempDir);
  init.maxArchiveTestBytes = 0x1FFFF;
  init.maxFileBufSize = 0x2FFFF;
  init.commentBufSize = 8191;
  init.info = [this](int code, const std::string&) { return OnInfo(code); };
  init.error = [this](int code, const std::string& file, const std::string& text) {
    return OnLibraryError(code, file, text);
  };
  init.request = [this](ace::TRequest& r) { return OnRequest(r); };
  init.state = [this](ace::TState& s) { return OnState(s); };
  if (lib.ACEInitDll(init) != 0) return ArchiveFailed(E_ACELIBRARY);
  // An empty FileSpec means every entry here (the library is handed "*"):
  // the loop's own selection sees the same for this operation.
  struct TMasksGuard {
    TStrings& masks;
    TStrings saved;
    ~TMasksGuard() { masks = std::move(saved); }
  } guard{FileSpec, FileSpec};
  if (FileSpec.empty()) FileSpec = {"*"};

  if (!PreScan(VolumeName, ArcStartOffset())) return;
  BytesTotal = BytesRemaining = TotalPackedSize;

  ace::TFileSet files;
  files.fileList = BuildFileList();
  files.fullMatch = true;
  if (OutputMode == omToFile || OutputMode == omAppendFile)
    lib.ACEExtract(VolumeName, files, Password, GetExtractDir(), !UseStoredDirs);
  else
    lib.ACETest(VolumeName, files, Password);
}

bool TUnACE::PreScan(const std::string& volume, int64_t start) {
  ace::TFile f;
  if (!f.Open(volume)) {
    ArchiveFailed(E_OPENERROR, volume);
    return false;
  }
  FileCount = 0;
  TotalUnpackedSize = TotalPackedSize = 0;
  std::vector<uint8_t> h;
  auto readHeader = [&](int64_t pos) {
    uint8_t head[4];
    if (f.ReadAt(pos, head, 4) != 4) return false;
    h.resize(4 + ace::Le16(head + 2));
    return f.ReadAt(pos, h.data(), h.size()) == static_cast<int64_t>(h.size());
  };
  ace::TMainHeader m;
  if (start < 0 || !readHeader(start) || !ace::ParseMainHeader(h.data(), h.size(), m)) {
    ArchiveFailed(E_BADFILEHEADER, volume);
    return false;
  }
  // A damaged header ends the scan quietly: the library reports it when it gets there.
  int64_t pos = start + static_cast<int64_t>(h.size());
  ace::TFileHeader fh;
  while (pos < f.Size() && readHeader(pos) && ace::ParseFileHeader(h.data(), h.size(), fh)) {
    if (!fh.IsDir() && !fh.FromPrev() && MatchesSpec(StoredName(fh.name), RecurseDirs)) {
      TotalUnpackedSize += static_cast<int64_t>(fh.origSize);
      TotalPackedSize += static_cast<int64_t>(std::min<uint64_t>(fh.packSize, INT64_MAX / 4));
      ++FileCount;
      MaxFileDate = std::max(MaxFileDate, fh.time);
    }
    const uint64_t next = static_cast<uint64_t>(pos) + h.size() + fh.packSize;
    if (next > static_cast<uint64_t>(f.Size())) break;
    pos = static_cast<int64_t>(next);
  }
  return true;
}

// ---------------------------------------------------------------------------
// Callbacks

int TUnACE::OnInfo(int code) {
  if (Cancelled()) return ace::kAnswerCancel;
  switch (code) {
    case ace::kInfoStart: processed_ = 0; return ace::kAnswerOk;
    case ace::kInfoFileDone: ++processed_; return ace::kAnswerOk;
    case ace::kInfoVolume: return ace::kAnswerOk;
    default: return ace::kAnswerNo;
  }
}

int TUnACE::OnLibraryError(int code, const std::string& file, const std::string& text) {
  const int engineCode = EngineCode(code);
  if (!anyEntry_) {
    ArchiveFailed(engineCode, text.empty() ? file : text);
  } else if (!decoding_) {
    HeaderFailed(file, engineCode, text);  // a damaged header between entries
  } else {
    ReportError(file, text, VolumeName, engineCode);
  }
  return ace::kAnswerCancel;
}

int TUnACE::OnRequest(ace::TRequest& r) {
  switch (r.code) {
    case ace::kRequestChangeVolume: return ChangeVolume(r);
    case ace::kRequestOverwrite:
      // The engine writes its files itself (through its own overwrite rules);
      // it never lets the library near an existing file.
      return OverwriteMode == omSkip ? ace::kAnswerNo : ace::kAnswerOk;
    case ace::kRequestPassword:
      // The loop settles the password of every member it takes; the library
      // asks only for one passed over in a solid archive (decoded for the
      // history): it gets the password the loop settled, if that is not the
      // one that failed.
      if (Password.empty() || r.password == Password) return ace::kAnswerNo;
      r.password = Password;
      return ace::kAnswerOk;
    default: return ace::kAnswerCancel;
  }
}

int TUnACE::ChangeVolume(ace::TRequest& r) {
  if (!OnNextVolume) {
    ReportError(FileName, "OnNextVolume", VolumeName, E_REQUIREDEVENT);
    return ace::kAnswerCancel;
  }
  VolumeName = VolumeFileName(VolumeName, r.volume - 1);
  {
    TStopwatchPause pause(timer_);
    OnNextVolume(this, VolumeName, r.volume, plat::FileExists(VolumeName), cancel_);
  }
  if (Cancelled()) {
    if (!plat::FileExists(VolumeName)) ReportMissingVolume(VolumeName);
    ReportError(FileName, std::string(), VolumeName, E_USERCANCELED);
    return ace::kAnswerCancel;
  }
  r.volumeName = VolumeName;
  det_.VolumeNumber = r.volume;
  if (!plat::FileExists(VolumeName)) return ace::kAnswerNo;
  // The totals of a later volume only serve progress; the first volume's stay.
  const int64_t packed = TotalPackedSize, unpacked = TotalUnpackedSize;
  const int count = FileCount;
  const bool ok = PreScan(VolumeName, 0);
  TotalPackedSize = packed;
  TotalUnpackedSize = unpacked;
  FileCount = count;
  return ok ? ace::kAnswerOk : ace::kAnswerCancel;
}

int TUnACE::OnState(ace::TState& s) {
  switch (s.code) {
    case ace::kStateStartFile: return StartEntry(s);
    case ace::kStateProgress: return Progress(s);
    case ace::kStateCrc:
      // a split member's checksum is the one of its last segment
      if (decoding_) entry_.crc = s.storedCrc;
      return Cancelled() ? ace::kAnswerCancel : ace::kAnswerOk;
    default: return Cancelled() ? ace::kAnswerCancel : ace::kAnswerOk;
  }
}

int TUnACE::StartEntry(ace::TState& s) {
  const ace::TEntryInfo& info = *s.entry;
  anyEntry_ = true;
  decoding_ = false;
  entry_ = TEntry();
  entry_.storedName = StoredName(info.name);
  entry_.packedSize = static_cast<int64_t>(std::min<uint64_t>(info.packedSize, INT64_MAX / 4));
  entry_.unpackedSize = static_cast<int64_t>(std::min<uint64_t>(info.origSize, INT64_MAX / 4));
  entry_.crc = info.crc;
  entry_.crcKind = 32;
  entry_.dosDate = info.time;
  entry_.attr = info.attr;
  entry_.isDir = info.isDir;
  entry_.encrypted = info.encrypted;
  if (!info.isDir && info.compType > ace::kCompBlocked) {
    RejectEntry(entry_, E_UNSUPPORTEDMETHOD, AceMethods().Described(info.compType));
    return Cancelled() ? ace::kAnswerCancel : ace::kAnswerNo;
  }
  // The password is settled before the output exists: a wrong one leaves no
  // file. A member that cannot be read is reported once and takes no password.
  bool unreadable = false;
  auto verify = [this, &s, &unreadable](const std::string& password) {
    if (unreadable) return false;
    const auto r = static_cast<ace::TResult>(s.checkPassword(password));
    if (r == ace::TResult::ReadError || r == ace::TResult::MissingVolume || r == ace::TResult::BadHeader) {
      unreadable = true;
      ReportError(FileName, std::string(), VolumeName, E_READERROR);
    }
    return r == ace::TResult::Ok;
  };
  ExtractEntry(entry_, [this, &s] { return DecodeEntry(s); }, verify);
  decoding_ = false;
  if (Cancelled()) return ace::kAnswerCancel;
  // an entry the loop left alone is skipped (a solid archive still decodes it)
  return ace::kAnswerNo;
}

bool TUnACE::DecodeEntry(ace::TState& s) {
  decoding_ = true;
  const auto r = static_cast<ace::TResult>(s.decode());
  switch (r) {
    case ace::TResult::Ok:
    case ace::TResult::CrcError:  // the loop's own check reports it
      return DecodeResultOk(drOk, entryDone_, entry_.unpackedSize);
    case ace::TResult::DataError: return DecodeResultOk(drInvalidData, entryDone_, entry_.unpackedSize);
    case ace::TResult::Truncated:
    case ace::TResult::ReadError:
    case ace::TResult::MissingVolume:
    case ace::TResult::BadHeader: return DecodeResultOk(drInputExhausted, entryDone_, entry_.unpackedSize);
    case ace::TResult::WrongPassword:
      ReportError(FileName, std::string(), VolumeName, E_INVALIDPASSWORD);
      return false;
    case ace::TResult::Unsupported:
      ReportError(FileName, std::string(), VolumeName, E_UNSUPPORTEDMETHOD);
      return false;
    case ace::TResult::OutputFailed:  // reported by the output layer
    case ace::TResult::Cancelled: return false;
  }
  return false;
}

int TUnACE::Progress(ace::TState& s) {
  if (s.entry->index != progressOf_ || s.packedDone < packedSeen_) {
    progressOf_ = s.entry->index;
    packedSeen_ = 0;
  }
  BytesRemaining = std::max<int64_t>(0, BytesRemaining - static_cast<int64_t>(s.packedDone - packedSeen_));
  packedSeen_ = s.packedDone;
  if (decoding_ && s.data != nullptr && !WriteOutput(s.data, static_cast<int64_t>(s.size))) return ace::kAnswerNo;
  ReportProgress(entryTotal_, entryDone_);
  return Cancelled() ? ace::kAnswerCancel : ace::kAnswerOk;
}

const TMethodTable& AceMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Fastest"}, {1, nullptr, "Fast"}, {2, nullptr, "Normal"}, {3, nullptr, "Good"}, {4, nullptr, "Best"},
  };
  return table;
}

}  // namespace zid
