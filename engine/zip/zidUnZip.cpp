#include "engine/zip/zidUnZip.h"

#include <algorithm>

#include "engine/base/zidDetect.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/zip/zidZipInput.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDir = 0040000;
constexpr uint32_t kUnixLink = 0120000;

bool EndsWithSeparator(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

int64_t ReadFull(TStream32& s, uint8_t* buf, int64_t n) {
  int64_t got = 0;
  while (got < n) {
    int64_t r = s.Read(buf + got, n - got);
    if (r <= 0) break;
    got += r;
  }
  return got;
}

}  // namespace

TUnZip::TUnZip() : span_(*this) {}

TUnZip::~TUnZip() = default;

void TUnZip::SetZipCmntBufSize(int value) { zipCmntBufSize_ = std::clamp(value, 2000, 32767); }

bool TUnZip::FoldersByName() const { return GetArcType() == atJar || GetArcType() == atJarExe; }

bool TUnZip::Spanned() const { return GetArcType() == atZipDS || GetArcType() == atZipMV; }

void TUnZip::StartOperation() {
  TUnBase::StartOperation();
  passwordFailed_ = false;
  span_.DiskCounter = 0;
  currentDisk_ = lastDisk_ = 0;
}

void TUnZip::ProcessArchive() {
  const TArcType t = GetArcType();
  if (!IsZipFamily(t) && t != atZipDS && t != atZipMV) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(t));
    return;
  }
  // The output folders are created as files need them; the target itself too.
  if ((OutputMode == omToFile || OutputMode == omAppendFile) && !GetExtractDir().empty() &&
      !plat::DirectoryExists(GetExtractDir()))
    plat::ForceDirectories(GetExtractDir());
  std::vector<TZipDirEntry> list;
  if (!BuildList(list)) {
    MarkArchiveFailed();
    return;
  }
  for (const TZipDirEntry& e : list) {
    if (Cancelled()) break;
    ExtractOne(e);
  }
}

// ---------------------------------------------------------------------------
// The entry list

bool TUnZip::BuildList(std::vector<TZipDirEntry>& list) {
  TZipDirOptions opt;
  opt.translateOem = TranslateOemChar;
  opt.spanned = Spanned();
  opt.offsetAdjust = det_.ZipOffsetAdjust;
  opt.wanted = [this](const std::string& name) { return MatchesSpec(name, RecurseDirs); };
  opt.cancelled = [this] { return Cancelled(); };
  opt.error = [this](int code, const std::string& name, const std::string& extra) { EntryFailed(name, code, extra); };
  const THeaderTypeState flags = det_.ZipStructureFlags;
  if (archive_ == nullptr) return false;

  if (Spanned() && (flags & htEnding)) {
    TEndRecord end;
    end.Read(det_.EndRecord.data());
    lastDisk_ = currentDisk_ = end.ThisDisk;
    LastVolume = CurrentVolume = lastDisk_ + 1;
    if (GetArcType() == atZipDS) {
      span_.DiskCounter = 0;
      if (!span_.SwitchDisk(-1, lastDisk_ + 1)) return false;
    }
    int64_t dirStart = static_cast<int64_t>(end.DirectoryOffset);
    if (end.DirectoryDisk == end.ThisDisk && (flags & htCentral)) dirStart = det_.ArcStartOffset;
    if (!SelectDisk(end.DirectoryDisk, dirStart)) return false;
    auto nextDisk = [this]() -> TStream32* { return NextDisk() ? archive_.get() : nullptr; };
    if (!ReadCentralDirectory(*archive_, dirStart, opt, list, nextDisk)) {
      ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
      return false;
    }
  } else if (flags & htCentral) {
    if (!ReadCentralDirectory(*archive_, det_.ArcStartOffset, opt, list)) {
      ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
      return false;
    }
  } else if (flags & htLocal) {
    if (OnCorruptZipHeader) {
      bool cancel = true;
      OnCorruptZipHeader(this, flags, cancel);
      if (cancel) return false;
    }
    ReadLocalHeaders(*archive_, std::max<int64_t>(0, det_.ArcStartOffset), opt, list);
  } else {
    ReportError(GetArchiveFile(), std::string(), VolumeName, E_BADFILEHEADER);
    return false;
  }
  for (const TZipDirEntry& e : list) MaxFileDate = std::max(MaxFileDate, e.dosDate);
  return true;
}

// ---------------------------------------------------------------------------
// Volumes

bool TUnZip::SelectDisk(int disk, int64_t offset) {
  if (!Spanned() || disk == currentDisk_) return true;
  if (disk < 0 || disk > lastDisk_) return false;
  if (GetArcType() == atZipMV) {
    // OpenNextVolume opens the volume after CurrentVolume (1-based).
    CurrentVolume = disk;
    if (!OpenNextVolume()) return false;
  } else if (!span_.SwitchDisk(offset, disk + 1)) {
    return false;
  }
  currentDisk_ = disk;
  return true;
}

bool TUnZip::NextDisk() {
  if (!Spanned() || currentDisk_ >= lastDisk_ || Cancelled()) return false;
  return SelectDisk(currentDisk_ + 1, 0);
}

// ---------------------------------------------------------------------------
// One entry

TEntry TUnZip::MakeEntry(const TZipDirEntry& e, uint32_t crc) const {
  TEntry te;
  te.storedName = e.name;
  te.packedSize = e.compressedSize;
  te.unpackedSize = e.uncompressedSize;
  te.crc = crc;
  te.crcKind = 32;
  te.dosDate = e.dosDate;
  te.encrypted = (e.flags & 1) != 0;
  te.attr = e.externalAttr & 0xFF;
  uint32_t mode = (e.versionMadeBy >> 8) == 3 ? e.externalAttr >> 16 : 0;
  if (FoldersByName()) {
    te.isDir = EndsWithSeparator(e.name);
    te.attr = te.isDir ? 0x10 : 0x20;
  } else {
    te.isDir = (te.attr & 0x10) != 0 || EndsWithSeparator(e.name) || (mode & kUnixTypeMask) == kUnixDir;
  }
  // A symbolic link becomes a regular file holding the link text, with the
  // usual permissions (a link's own bits are all set and mean nothing).
  if ((mode & kUnixTypeMask) == kUnixLink) mode = 0;
  te.unixMode = mode & 0777;
  return te;
}

void TUnZip::ExtractOne(const TZipDirEntry& e) {
  if (Cancelled()) return;
  if (!SelectDisk(e.disk, e.localOffset)) {
    CountFailedEntry();
    return;
  }
  TLocalInfo li;
  if (archive_ == nullptr || !ReadLocalInfo(*archive_, e.localOffset, li)) {
    EntryFailed(e.name, E_BADLOCALOFFSET);
    return;
  }
  // The local CRC counts; writers that put it in a data descriptor leave it 0.
  uint32_t crc = e.crc;
  if (e.fromCentral) {
    crc = li.header.Crc32;
    if (crc == 0 && e.compressedSize != 0) crc = e.crc;
  }
  const TEntry te = MakeEntry(e, crc);
  if (te.isDir) {
    ExtractEntry(te, [] { return true; });
    return;
  }
  if (te.encrypted && passwordFailed_) {
    EntryFailed(e.name, E_PASSWORDFAILED);
    SkipEntry(e.compressedSize);
    return;
  }
  if (!IsSupportedZipMethod(e.method)) {
    EntryFailed(e.name, E_UNSUPPORTEDMETHOD, "method " + std::to_string(e.method));
    SkipEntry(e.compressedSize);
    return;
  }
  if (te.encrypted && e.compressedSize < kEncryptionHeaderSize) {
    EntryFailed(e.name, E_BADFILEHEADER, "the encryption header is cut short");
    SkipEntry(e.compressedSize);
    return;
  }

  TZipEntryInput in([this]() -> TStream32* { return archive_.get(); },
                    Spanned() ? std::function<bool()>([this] { return NextDisk(); }) : nullptr, li.dataOffset,
                    e.compressedSize);
  in.RemainingCounter = &BytesRemaining;
  TEncryptionHeader header{};
  bool haveHeader = false;
  bool verifyCalled = false;
  const uint16_t dosTime = static_cast<uint16_t>(e.dosDate & 0xFFFF);
  auto verify = [&](const std::string& password) {
    verifyCalled = true;
    if (!haveHeader) {
      if (ReadFull(in, header.data(), kEncryptionHeaderSize) != kEncryptionHeaderSize) return false;
      haveHeader = true;
    }
    return CheckEncryptionHeader(header.data(), e.flags, crc, password, dosTime);
  };
  auto decode = [&] {
    int64_t packed = e.compressedSize;
    if (te.encrypted) {
      if (!haveHeader) return false;
      in.SetDecipher(true);
      packed -= kEncryptionHeaderSize;
    }
    return DecodeData(e, e.flags, e.method, packed, e.uncompressedSize, in);
  };
  const TEntryResult r = ExtractEntry(te, decode, te.encrypted ? std::function<bool(const std::string&)>(verify)
                                                               : std::function<bool(const std::string&)>());
  if (r == TEntryResult::Skipped && te.encrypted && verifyCalled) passwordFailed_ = true;
}

bool TUnZip::DecodeData(const TZipDirEntry& e, uint16_t flags, uint16_t method, int64_t packed, int64_t unpacked,
                        TZipEntryInput& in) {
  (void)e;
  TDecodeJob job;
  job.cancel = CancelFlag();
  job.expectedSize = unpacked;
  job.sink.write = [this](const uint8_t* buf, int64_t n) -> int64_t { return WriteOutput(buf, n) ? n : 0; };
  job.progress = [this](int64_t) { ReportProgress(entryTotal_, entryDone_); };
  int64_t produced = 0;
  const int r = DecodeZipMethod(method, flags, in, packed, job, produced);
  return DecodeResultOk(r, produced, unpacked);
}

}  // namespace zid
