#include "engine/listing/zidRizER.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "engine/base/zidDiskManager.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidNames.h"
#include "engine/base/zidStreams.h"
#include "engine/listing/zidNamePage.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/paths.h"

namespace zid {

namespace {

// Read-ahead window of a walk: small headers one after the other cost one
// read per window instead of a seek and a read each.
constexpr int64_t kWindowSize = 65536;

}  // namespace

// ---------------------------------------------------------------------------
// Dates

plat::TDateTime ZeroDosDate() { return plat::EncodeDateTime(1980, 1, 1, 0, 1, 0, 0); }

plat::TDateTime DosDateToFileDate(uint32_t dos) {
  if (dos == 0) return ZeroDosDate();
  plat::TDateTime t = 0;
  if (!plat::DosDateTimeToDateTime(dos, t)) return kInvalidFileDate;
  return t;
}

plat::TDateTime SwappedDosDateToFileDate(uint32_t dateFirst) {
  return DosDateToFileDate((dateFirst << 16) | (dateFirst >> 16));
}

plat::TDateTime UnixToFileDate(int64_t unixTime) {
  if (unixTime == 0) return ZeroDosDate();
  return plat::UnixToDateTime(unixTime);
}

// ---------------------------------------------------------------------------
// TRizER

TRizER::TRizER() : diskSpan_(*this) {}

TRizER::~TRizER() = default;

void TRizER::ResetEntry() {
  FileName.clear();
  FileNameRaw.clear();
  FileNameCharset.clear();
  LinkTarget.clear();
  PackedSize = UnpackedSize = 0;
  TotalPackedSize = TotalUnpackedSize = 0;
  Ratio = 0;
  CRC = 0;
  Encrypted = false;
  MethodId = 0;
  MethodName.clear();
  VersionMadeBy = VersionNeeded = 0;
  ExternalAttr = InternalAttr = 0;
  FileCount = 0;
  FileDate = kInvalidFileDate;
  headerOffset_ = 0;
  entryOffset_ = 0;
}

void TRizER::SetHeaderLength(int len) {
  headerLength_ = std::max(len, 0);
  if (header_.size() < static_cast<size_t>(headerLength_)) header_.resize(static_cast<size_t>(headerLength_));
}

// A ZIP archive at offset 0 may be one disk of a set spanned over removable
// disks (PKBACK# labels). Only the drive's type and label are asked: listing
// reads, so a write-protected or unknown drive does not stop it.
void TRizER::CheckDrive() {
  if (det_.ArcType != atZip || det_.ArcStartOffset != 0) return;
  plat::DriveInfo info;
  if (!plat::QueryDrive(plat::ExpandFileName(GetArchiveFile()), info, false)) return;
  if (info.type == plat::DriveType::Removable && DiskNumberFromLabel(info.label) > 0) det_.ArcType = atZipDS;
}

bool TRizER::Activate() {
  if (busy_) return false;
  busy_ = true;
  cancel_ = false;
  VolumeName = GetArchiveFile();
  ResetEntry();
  ArchiveComment.clear();
  bool ok = false;
  try {
    const std::string file = GetArchiveFile();
    if (file.empty() || !plat::FileExists(file)) RaiseError(file, std::string(), VolumeName, E_FILENOTFOUND);
    if (!OnRead) RaiseError(file, "OnRead", VolumeName, E_REQUIREDEVENT);
    CheckDrive();
    TNamePageScope names(OperationNamePage(*this));
    scratch_.assign(kScratchSize, 0);
    window_.assign(kWindowSize, 0);
    ArchiveSwitched();
    if (OpenArchive(file)) {
      if (OnActivate) OnActivate(this);
      timer_.Start();
      StartOffset = det_.ArcStartOffset;
      headerLength_ = 0;
      std::unique_ptr<TRizWalker> walker = MakeWalker(det_.ArcType);
      if (walker) {
        walker->Setup(*this);
        NextOffset = StartOffset;
        Walk(*walker);
      }
      timer_.Stop();
      CloseArchive();
      if (OnTotals) OnTotals(this, TotalUnpackedSize, TotalPackedSize, CalcRatio(TotalUnpackedSize, TotalPackedSize),
                             FileCount);
      if (OnDeactivate) OnDeactivate(this);
      if (OnElapsedTime) OnElapsedTime(this, timer_.ElapsedTime());
    }
    ok = true;
  } catch (...) {
    ReportCaught();
  }
  timer_.Stop();
  CloseArchive();
  std::vector<uint8_t>().swap(scratch_);
  std::vector<uint8_t>().swap(window_);
  std::vector<uint8_t>().swap(header_);
  headerLength_ = 0;
  ArchiveSwitched();
  busy_ = false;
  return ok;
}

void TRizER::Walk(TRizWalker& walker) {
  while (!cancel_ && archive_ && headerLength_ != 0 && NextOffset >= 0 && NextOffset + headerLength_ < archiveSize_) {
    headerOffset_ = NextOffset;
    const int64_t got = ReadAt(NextOffset, header_.data(), headerLength_);
    if (got <= 0) break;
    NextOffset += got;
    walker.Step(*this);
  }
}

bool TRizER::IsArchiveReadable() {
  if (GetArchiveFile().empty() || !IsRecognised(det_.ArcType)) return false;
  // The reporting events are silenced for the walk and put back afterwards,
  // whatever happens.
  struct TRestore {
    TRizER& r;
    std::tuple<TNotifyEvent, TOnRead, TNotifyEvent, TNotifyEvent, TNotifyEvent, TOnTotals> events;
    int64_t start;
    ~TRestore() {
      std::tie(r.OnReadBegin, r.OnRead, r.OnReadEnd, r.OnActivate, r.OnDeactivate, r.OnTotals) = std::move(events);
      r.det_.ArcStartOffset = start;
    }
  } restore{*this,
            {std::move(OnReadBegin), std::move(OnRead), std::move(OnReadEnd), std::move(OnActivate),
             std::move(OnDeactivate), std::move(OnTotals)},
            det_.ArcStartOffset};
  OnReadBegin = nullptr;
  OnRead = [](TZipCommon*, int, int) {};
  OnReadEnd = nullptr;
  OnActivate = nullptr;
  OnDeactivate = nullptr;
  OnTotals = nullptr;
  try {
    return Activate();
  } catch (...) {
    ReportCaught();
    return false;
  }
}

void TRizER::GetFileList(std::vector<std::string>* list) {
  if (list == nullptr) return;
  std::vector<std::string>* saved = list_;
  list_ = list;
  bool ok = false;
  try {
    ok = IsArchiveReadable();
  } catch (...) {
    ReportCaught();
  }
  list_ = saved;
  if (!ok) list->clear();
}

// ---------------------------------------------------------------------------
// Services of the walkers

void TRizER::ArchiveSwitched() {
  windowPos_ = -1;
  windowLen_ = 0;
}

int64_t TRizER::ReadAt(int64_t pos, void* buf, int64_t n) {
  if (!archive_ || pos < 0 || n <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buf);
  if (n > kWindowSize || window_.empty()) {
    if (archive_->Seek(pos, plat::soFromBeginning) != pos) return 0;
    return std::max<int64_t>(archive_->Read(out, n), 0);
  }
  int64_t done = 0;
  while (done < n) {
    const int64_t p = pos + done;
    if (windowPos_ < 0 || p < windowPos_ || p >= windowPos_ + windowLen_) {
      windowPos_ = -1;
      windowLen_ = 0;
      if (archive_->Seek(p, plat::soFromBeginning) != p) break;
      const int64_t got = archive_->Read(window_.data(), kWindowSize);
      if (got <= 0) break;
      windowPos_ = p;
      windowLen_ = got;
    }
    const int64_t off = p - windowPos_;
    const int64_t take = std::min(n - done, windowLen_ - off);
    std::memcpy(out + done, window_.data() + off, static_cast<size_t>(take));
    done += take;
  }
  return done;
}

std::string TRizER::DecodeName(const std::string& raw, bool utf8, bool unixHost) const {
  TNameOrigin origin;
  origin.utf8 = utf8;
  origin.unixHost = unixHost;
  origin.translateOem = TranslateOemChar;
  return DecodeEntryName(raw, origin);
}

bool TRizER::AcceptName(const std::string& decodedName, bool recurse, bool unixName) {
  LinkTarget.clear();
  FileName = decodedName;
  if (!RecentPageName(decodedName, FileNameRaw, FileNameCharset)) {
    FileNameRaw.clear();
    FileNameCharset.clear();
  }
  if (!unixName) std::replace(FileName.begin(), FileName.end(), '\\', '/');
  if (OnReadFile) OnReadFile(this, FileName);
  return MatchesSpec(FileName, recurse);
}

void TRizER::ReportEntry(bool isFolder, bool folderCounts, int64_t offset) {
  if (isFolder) {
    if (!ShowEmptyDirs) return;
    if (folderCounts) ++FileCount;
    if (FileName.empty() || FileName.back() != '/') FileName += '/';
  } else {
    ++FileCount;
    TotalUnpackedSize += UnpackedSize;
    TotalPackedSize += PackedSize;
  }
  entryOffset_ = offset;
  plat::ProcessMessages();
  if (cancel_) return;
  if (list_ != nullptr) {
    list_->push_back(FileName);
    return;
  }
  if (!OnRead) return;
  Ratio = CalcRatio(UnpackedSize, PackedSize);
  if (OnReadBegin) OnReadBegin(this);
  OnRead(this, static_cast<int>(static_cast<uint32_t>(offset)), FileCount);
  if (OnReadEnd) OnReadEnd(this);
}

}  // namespace zid
