// The directory reader's ZIP walker: ZIP, JAR and their self-extractors,
// multi-volume sets (atZipMV) and sets spanned over removable disks (atZipDS).
//
// With a central directory the entries come from the shared record reader
// (zidZipReader.h), with the checks the extractor makes: an entry whose local
// header lies outside the archive or whose data overlaps another entry's is
// reported (and listed), and counts that disagree with the end record are
// reported. The local headers are not read. Without a usable directory (the
// archive was cut short, or detection found only local headers) the walk goes
// from local header to local header, skipping the data by the stored
// compressed size, after OnCorruptZipHeader agreed.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/base/zidStreams.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/zip/zidAes.h"
#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidZipNames.h"
#include "engine/zip/zidZipReader.h"
#include "engine/zip/zidZipRecords.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr uint32_t kAttrFolder = 0x10;
constexpr uint32_t kAttrVolume = 0x08;

class TZipWalker : public TRizWalker {
 public:
  explicit TZipWalker(TArcType type) : type_(type) {}
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  bool SpanSetup(TRizER& r);
  // Reads the name and extra field behind the header block; deciphers the
  // name of a header-enciphered record. False when the file ends first.
  bool ReadNameAndExtra(TRizER& r, const uint8_t* cipheredRecord, THeaderRecordKind kind, size_t nameLen,
                        size_t extraLen);
  // A record that is not the expected header ends the walk; when it is the
  // first one, the archive has no usable headers at all.
  void WrongRecord(TRizER& r);
  // Lists the whole central directory; false when it is missing or cut short.
  bool ListCentral(TRizER& r);
  static int64_t FirstLocalHeader(TRizER& r);
  void CentralEntry(TRizER& r, const TCheckedRecord& c);
  void LocalStep(TRizER& r);
  std::string VolumeOfDisk(TRizER& r, int disk) const;
  // Common fields of both headers.
  void FillEntry(TRizER& r, std::string_view extra, uint16_t flags, uint16_t method, uint16_t time, uint16_t date,
                 uint32_t crc, const TEntrySizes& sizes, uint32_t attr);

  TArcType type_;
  THeaderTypeState state_ = 0;
  int lastDisk_ = 0;
  int64_t headersSeen_ = 0;
  std::string name_;
  std::string extra_;
};

// The central directory of a disk set lies on its last disk: ask for it,
// then take the directory offset from its end record.
bool TZipWalker::SpanSetup(TRizER& r) {
  TDiskSpannObj& span = r.DiskSpan();
  span.DiskCounter = 0;
  if (!span.SwitchDisk(-1, 0)) return false;
  r.ArchiveSwitched();
  TStream32* s = r.ArchiveStream();
  if (s == nullptr) return false;
  TArchiveDetection d;
  d.ArchiveFile = r.GetArchiveFile();
  DetectArcType(*s, d);
  if (!(d.ZipStructureFlags & htEnding)) return false;
  TEndRecord end;
  end.Read(d.EndRecord.data());
  state_ = d.ZipStructureFlags;
  lastDisk_ = end.ThisDisk;
  r.StartOffset = static_cast<int64_t>(end.DirectoryOffset);
  return true;
}

void TZipWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  state_ = r.Detection().ZipStructureFlags;
  {
    TEndRecord end;
    end.Read(r.Detection().EndRecord.data());
    lastDisk_ = end.ThisDisk;
    // The archive comment runs from behind the end record, cut at the file's end.
    if ((state_ & htEnding) && end.CommentLength > 0) {
      std::string comment(end.CommentLength, '\0');
      const int64_t got = r.ReadAt(r.Detection().ZipCommentPos, comment.data(), end.CommentLength);
      comment.resize(static_cast<size_t>(std::max<int64_t>(0, got)));
      r.ArchiveComment = std::move(comment);
    }
  }
  if (type_ == atZipDS && !SpanSetup(r)) return;

  if (!(state_ & htCentral) || !(state_ & htEnding)) {
    if (r.OnCorruptZipHeader) {
      bool cancel = true;
      r.OnCorruptZipHeader(&r, state_, cancel);
      if (cancel) return;
    } else {
      r.ReportError(r.GetArchiveFile(), "OnCorruptZipHeader", r.VolumeName, E_REQUIREDEVENT);
    }
    if (!(state_ & htCentral)) state_ = htLocal;
  }

  uint8_t head[kLocalHeaderSize] = {};
  if (state_ & htCentral) {
    if (ListCentral(r)) return;
    // A directory cut short: the entries are read from their local headers.
    state_ = htLocal;
    r.StartOffset = FirstLocalHeader(r);
  }
  if (state_ == htLocal) {
    if (r.ReadAt(r.StartOffset, head, kLocalHeaderSize) < static_cast<int64_t>(kLocalHeaderSize)) {
      r.ReportError(r.GetArchiveFile(), "the local header is cut short", r.VolumeName, E_BADFILEHEADER);
      return;
    }
    if (IsSpanMarker(head)) r.StartOffset += kSpanMarkerSize;
    r.SetHeaderLength(kLocalHeaderSize);
  } else {
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
  }
}

void TZipWalker::Step(TRizER& r) { LocalStep(r); }

void TZipWalker::WrongRecord(TRizER& r) {
  if (headersSeen_ == 0) r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
  r.EndWalk();
}

bool TZipWalker::ReadNameAndExtra(TRizER& r, const uint8_t* cipheredRecord, THeaderRecordKind kind, size_t nameLen,
                                  size_t extraLen) {
  name_.resize(nameLen);
  extra_.resize(extraLen);
  if (r.ReadAt(r.NextOffset, name_.data(), static_cast<int64_t>(nameLen)) != static_cast<int64_t>(nameLen))
    return false;
  if (r.ReadAt(r.NextOffset + static_cast<int64_t>(nameLen), extra_.data(), static_cast<int64_t>(extraLen)) !=
      static_cast<int64_t>(extraLen))
    return false;
  if (cipheredRecord != nullptr) {
    // The name continues the cipher stream of its record body.
    uint8_t copy[kCentralHeaderSize];
    std::memcpy(copy, cipheredRecord, kind == hrCentral ? kCentralHeaderSize : kLocalHeaderSize);
    DecryptHeaderRecord(copy, kind, reinterpret_cast<uint8_t*>(name_.data()), static_cast<int64_t>(nameLen));
  }
  return true;
}

std::string TZipWalker::VolumeOfDisk(TRizER& r, int disk) const {
  if (type_ == atZipDS) {
    char label[24];
    std::snprintf(label, sizeof label, "PKBACK# %.3d", disk + 1);
    return label;
  }
  // atZipMV: the last disk is the archive itself, the others .z01, .z02 ...
  if (disk >= lastDisk_) return r.GetArchiveFile();
  char ext[16];
  std::snprintf(ext, sizeof ext, ".z%02d", disk + 1);
  return plat::ChangeFileExt(r.GetArchiveFile(), ext);
}

void TZipWalker::FillEntry(TRizER& r, std::string_view extra, uint16_t flags, uint16_t method, uint16_t time,
                           uint16_t date, uint32_t crc, const TEntrySizes& sizes, uint32_t attr) {
  r.FileDate = DosDateToFileDate((static_cast<uint32_t>(date) << 16) | time);
  r.CRC = crc;
  r.Encrypted = (flags & kFlagEncrypted) != 0;
  r.MethodId = method;
  r.UnpackedSize = sizes.UncompressedSize;
  r.PackedSize = sizes.CompressedSize;
  // The encryption header (and AES's salt, verifier and MAC) are not part of the packed data.
  TAesExtra aes;
  if (method == kMethodAes && FindAesExtra(reinterpret_cast<const uint8_t*>(extra.data()), extra.size(), aes)) {
    method = aes.method;  // the listing names the method of the data
    r.PackedSize = std::max<int64_t>(0, r.PackedSize - AesOverhead(aes.strength));
  } else if (r.Encrypted && r.PackedSize >= 12) {
    r.PackedSize -= 12;
  }
  r.MethodName = (attr & (kAttrFolder | kAttrVolume)) ? std::string() : ZipMethodName(method, flags, attr);
}

int64_t TZipWalker::FirstLocalHeader(TRizER& r) {
  std::vector<uint8_t> buf(65536);
  const int64_t n = r.ReadAt(0, buf.data(), static_cast<int64_t>(buf.size()));
  for (int64_t i = 0; i + 4 <= n; ++i)
    if (buf[i] == 0x50 && (IsLocalSig(Get32(&buf[i])) || IsSpanMarker(&buf[i]))) return i;
  return 0;
}

bool TZipWalker::ListCentral(TRizER& r) {
  TStream32* s = r.ArchiveStream();
  if (s == nullptr) return true;
  TZipLayout layout = ZipLayoutOf(r.Detection(), s->Size());
  layout.dirStart = r.StartOffset;
  layout.spanned = type_ == atZipDS || type_ == atZipMV;
  TZipScanOptions opt;
  opt.cancelled = [&r] { return r.Cancelled(); };
  TZipScan scan;
  ScanCentralDirectory(*s, layout, opt, scan, nullptr);
  if (r.Cancelled()) return true;
  if (!scan.found || scan.cut) {
    r.ReportError(r.GetArchiveFile(), "the central directory is cut short: the entries are read from their local headers",
                  r.VolumeName, E_BADFILEHEADER);
    return false;
  }
  for (const std::string& w : scan.warnings) r.ReportError(r.GetArchiveFile(), w, r.VolumeName, E_BADFILEHEADER);
  opt.overlapping = &scan.overlapping;
  opt.correction = scan.correction;
  TZipScan second;
  ScanCentralDirectory(*s, layout, opt, second, [this, &r](const TCheckedRecord& c) {
    CentralEntry(r, c);
    return !r.Cancelled();
  });
  r.ArchiveSwitched();
  return true;
}

void TZipWalker::CentralEntry(TRizER& r, const TCheckedRecord& c) {
  const TCentralHeader& h = c.rec->header;
  ++headersSeen_;
  const std::string decoded = ZipEntryName(c.rec->rawName, h.Flags, h.VersionMadeBy, c.rec->extra, r.TranslateOemChar);
  if (type_ == atZipDS || type_ == atZipMV) {
    r.VolumeName = VolumeOfDisk(r, h.DiskNumberStart);
  } else if (!(state_ & htLocal)) {
    r.ReportError(decoded, std::string(), r.VolumeName, E_BADFILEHEADER);
  }
  if (!r.AcceptName(decoded, r.RecurseDirs, (h.VersionMadeBy >> 8) == 3)) return;
  // Listed all the same: the listing shows what the directory says, the
  // error says why the entry will not extract.
  if (c.problem != 0 || c.overlaps)
    r.ReportError(decoded, c.problem != 0 ? c.why : "the entry overlaps the data of another entry", r.VolumeName,
                  c.problem != 0 ? c.problem : E_BADLOCALOFFSET);
  const uint32_t attr = h.ExternalAttr & 0xFFFF;
  r.VersionMadeBy = h.VersionMadeBy;
  r.VersionNeeded = h.VersionNeeded;
  r.InternalAttr = h.InternalAttr;
  r.ExternalAttr = attr;
  FillEntry(r, c.rec->extra, h.Flags, h.Method, h.Time, h.Date, h.Crc32, c.rec->sizes, attr);
  // Some writers (jar among them) mark folders by the trailing separator only.
  const bool folder = (attr & kAttrFolder) != 0 || (!r.FileName.empty() && r.FileName.back() == '/');
  const bool spanned = type_ == atZipDS || type_ == atZipMV;
  r.ReportEntry(folder, true, spanned ? c.rec->sizes.LocalHeaderOffset + r.Detection().ZipOffsetAdjust : c.localOffset);
}

void TZipWalker::LocalStep(TRizER& r) {
  uint8_t* h = r.HeaderBuf();
  const uint32_t sig = Get32(h);
  if (!IsLocalSig(sig)) return WrongRecord(r);
  ++headersSeen_;
  uint8_t ciphered[kLocalHeaderSize];
  const bool enciphered = IsEncipheredSig(sig);
  if (enciphered) {
    std::memcpy(ciphered, h, kLocalHeaderSize);
    DecryptHeaderRecord(h, hrLocal);
  }
  TLocalHeader l;
  l.Read(h);
  if (!ReadNameAndExtra(r, enciphered ? ciphered : nullptr, hrLocal, l.NameLength, l.ExtraLength))
    return r.EndWalk();

  TEntrySizes sizes;
  sizes.CompressedSize = l.CompressedSize;
  sizes.UncompressedSize = l.UncompressedSize;
  ParseExtraField(reinterpret_cast<const uint8_t*>(extra_.data()), extra_.size(), false, sizes);
  r.NextOffset += static_cast<int64_t>(l.NameLength) + l.ExtraLength + sizes.CompressedSize;

  // A local header has no made-by version: only the flag and the Unicode
  // path field can mark its name as UTF-8.
  const std::string decoded = ZipEntryName(name_, l.Flags, 0, extra_, r.TranslateOemChar);
  if (!r.AcceptName(decoded, r.RecurseDirs)) return;

  r.VersionMadeBy = l.VersionNeeded;
  r.VersionNeeded = l.VersionNeeded;
  r.InternalAttr = 0;
  r.ExternalAttr = 0;
  FillEntry(r, extra_, l.Flags, l.Method, l.Time, l.Date, l.Crc32, sizes, 0);
  const bool folder = !r.FileName.empty() && r.FileName.back() == '/';
  r.ReportEntry(folder, false, r.HeaderOffset());
}

}  // namespace

std::unique_ptr<TRizWalker> MakeZipWalker(TArcType type) { return std::make_unique<TZipWalker>(type); }

}  // namespace zid
