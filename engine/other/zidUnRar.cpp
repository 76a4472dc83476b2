#include "engine/other/zidUnRar.h"

#include <algorithm>
#include <limits>

#include "engine/base/zidCrc.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidRar5Header.h"
#include "engine/other/zidRarMethods.h"
#include "engine/other/zidRarUnpack.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr int kBrokenVolumeChain = 25135;
constexpr int64_t kMaxSize = std::numeric_limits<int64_t>::max() / 4;
constexpr uint32_t kUnixTypeMask = 0xF000, kUnixLink = 0xA000;

int64_t Clamp(uint64_t v) { return static_cast<int64_t>(std::min<uint64_t>(v, kMaxSize)); }

std::string VersionText(int v) { return std::to_string(v / 10) + "." + std::to_string(v % 10); }

}  // namespace

TUnRar::TUnRar() = default;
TUnRar::~TUnRar() = default;

TRarReadAt TUnRar::Reader() {
  // The stream is looked up at each read: a volume change replaces it.
  return [this](int64_t pos, void* buf, int64_t n) -> int64_t {
    TStream32* s = archive_.get();
    return s != nullptr ? ReadFullAt(*s, pos, buf, n) : 0;
  };
}

void TUnRar::ProcessArchive() {
  const TArcType t = GetArcType();
  if (t != atRar && t != atRarExe) return ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(t));
  unpacker_.reset();
  volume_ = std::max(VolumeNumber(), 0);
  stop_ = false;
  anyDecoded_ = false;
  visited_.clear();
  visited_.insert(plat::ExpandFileName(GetArchiveFile()));
  VolumeName = GetArchiveFile();
  int64_t first = 0;
  const int code = ReadRarVolumeHead(Reader(), ArcStartOffset(), first, mainFlags_, &rar5_);
  if (code != 0 && !rar5_) {
    return ArchiveFailed(code == E_READERROR ? E_BADFILEHEADER : code,
                         code == E_PASSWORDPROTECTED ? "the headers are encrypted" : std::string());
  }
  Walk(first);
}

void TUnRar::Walk(int64_t pos) {
  pos_ = pos;
  while (!Cancelled() && !stop_) {
    std::string why;
    int64_t next = 0;
    if (rar5_) {
      TRar5Block b;
      const TRarRead r = ReadRar5Block(Reader(), pos_, b, &why);
      if (r == TRarRead::End) return;
      if (r == TRarRead::Bad) return HeaderFailed(VolumeName, E_BADFILEHEADER, why + " at offset " + std::to_string(pos_));
      if (b.type == kRar5TypeCrypt) return ArchiveFailed(E_PASSWORDPROTECTED, "the headers are encrypted");
      if (b.type == kRar5TypeEnd) {
        if (!(b.endFlags & kRar5EndNextVolume) || !VolumeOpened(OpenNextVolume(&pos_))) return;
        continue;
      }
      if (b.type == kRar5TypeFile && !b.SplitBefore()) {
        Rar5Entry(b);
        continue;
      }
      next = b.NextOffset();
    } else {
      TRarBlock b;
      const TRarRead r = ReadRarBlock(Reader(), pos_, b, &why);
      if (r == TRarRead::End) return;
      if (r == TRarRead::Bad) return HeaderFailed(VolumeName, E_BADFILEHEADER, why + " at offset " + std::to_string(pos_));
      if (b.type == kRarTypeEnd) {
        if (!(mainFlags_ & kRarMainVolume) || !(b.flags & kRarEndNextVolume) || !VolumeOpened(OpenNextVolume(&pos_)))
          return;
        continue;
      }
      if (b.IsFile() && !(b.flags & kRarSplitBefore)) {
        FileEntry(b);
        continue;
      }
      // A middle part of an entry begun before a gap: old volumes have no end
      // block, the set goes on in the next volume.
      if (b.IsFile() && (b.flags & kRarSplitAfter) && (mainFlags_ & kRarMainVolume)) {
        if (!VolumeOpened(OpenNextVolume(&pos_))) return;
        continue;
      }
      next = b.NextOffset();
    }
    pos_ = next;
  }
}

void TUnRar::FileEntry(const TRarBlock& b) {
  part_ = TPart();
  part_.key = b.nameField;
  part_.dataOffset = b.DataOffset();
  part_.dataSize = Clamp(b.dataSize);
  part_.next = b.NextOffset();
  part_.crc = b.crc;
  part_.splitAfter = (b.flags & kRarSplitAfter) != 0;
  part_.crcOfPacked = part_.splitAfter;
  const bool unixHost = b.host == kRarHostUnix;
  TEntry te;
  te.storedName = RarEntryName(b, TranslateOemChar);
  te.packedSize = part_.dataSize;
  te.unpackedSize = Clamp(b.unpacked);
  te.crc = b.crc;
  te.dosDate = b.dosDate;
  te.isDir = b.IsFolder();
  te.attr = b.DosAttributes() | (te.isDir ? 0x10 : 0);
  te.encrypted = (b.flags & kRarEncrypted) != 0;
  if (unixHost) {
    te.unixMode = b.attr & 0777;
    te.isSymlink = te.linkInData = (b.attr & kUnixTypeMask) == kUnixLink;
  }
  const bool compressed = b.method != kRarMethodStored;
  std::string refusal;
  int code = E_UNSUPPORTEDMETHOD;
  if (!b.crcOk) {
    refusal = "the file header fails its CRC check";
    code = E_BADFILEHEADER;
  } else if (te.isDir) {
  } else if (te.encrypted) {
    refusal = "encrypted RAR entries are not supported";
  } else if (compressed && b.unpVer >= 29) {
    refusal = "compressed by RAR 3 or later (version " + VersionText(b.unpVer) +
              "), which this system does not decode: only RAR 1.5 and 2.x compression is supported";
  } else if (compressed && !TRarUnpacker::Supports(b.unpVer)) {
    refusal = "RAR version " + VersionText(b.unpVer);
    code = E_VERSIONERROR;
  } else if (RarMethods().Find(b.method) == nullptr || !RarMethods().Find(b.method)->Decodes()) {
    refusal = "method " + std::to_string(b.method);
  }
  const bool solid = compressed && ((b.flags & kRarSolid) || (b.unpVer < 20 && (mainFlags_ & kRarMainSolid) && anyDecoded_));
  RunEntry(te, refusal, code, b.unpVer, compressed, solid);
}

void TUnRar::Rar5Entry(const TRar5Block& b) {
  part_ = TPart();
  part_.key = b.name;
  part_.dataOffset = b.DataOffset();
  part_.dataSize = Clamp(b.dataSize);
  part_.next = b.NextOffset();
  part_.crc = b.crc;
  part_.splitAfter = b.SplitAfter();
  TEntry te;
  te.storedName = b.name;
  te.packedSize = part_.dataSize;
  te.unpackedSize = Clamp(b.unpacked);
  te.crc = b.crc;
  te.crcKind = b.hasCrc ? 32 : 0;
  te.unixTime = b.mtime;
  if (b.mtime >= 0) te.dosDate = plat::UnixToDosDateTime(b.mtime);
  te.isDir = b.IsFolder();
  te.attr = b.DosAttributes();
  te.encrypted = b.encrypted;
  if (b.host == 1) te.unixMode = static_cast<uint32_t>(b.attr & 0777);
  std::string refusal;
  if (te.isDir) {
  } else if (te.encrypted) {
    refusal = "encrypted RAR entries are not supported";
  } else if (b.Method() != 0) {
    refusal = "compressed by RAR 5 (archive format 5.0), which this system does not decode: only its stored entries are extracted";
  }
  RunEntry(te, refusal, E_UNSUPPORTEDMETHOD, 0, false, false);
}

void TUnRar::RunEntry(const TEntry& e, const std::string& refusal, int refusalCode, int version, bool compressed,
                      bool solid) {
  partsOk_ = true;
  lostInGap_ = false;
  partPos_ = part_.dataOffset;
  partLeft_ = part_.dataSize;
  packedCrc_ = kCrc32Init;
  if (!refusal.empty()) {
    RejectEntry(e, refusalCode, refusal);
    if (!e.isDir && unpacker_) unpacker_->Interrupt();
    return FinishParts();
  }
  bool ran = false;
  entryUnpacked_ = e.unpackedSize;
  ExtractEntry(e, [&] {
    ran = true;
    return DecodeEntry(version, compressed, solid, true);
  });
  // A solid stream goes through every entry, extracted or not.
  if (!ran && compressed && !e.isDir && !Cancelled()) {
    if (mainFlags_ & kRarMainSolid) DecodeEntry(version, compressed, solid, false);
    else if (unpacker_) unpacker_->Interrupt();
  }
  FinishParts();
}

bool TUnRar::DecodeEntry(int version, bool compressed, bool solid, bool toOutput) {
  TDecodeJob job;
  job.source.read = [this](uint8_t* buf, int64_t n) { return ReadPacked(buf, n); };
  int64_t produced = 0;
  if (toOutput) {
    job.sink.write = [this, &produced](const uint8_t* buf, int64_t n) -> int64_t {
      if (!WriteOutput(buf, n)) return 0;
      produced += n;
      return n;
    };
  } else {
    job.sink.write = [&produced](const uint8_t*, int64_t n) -> int64_t {
      produced += n;
      return n;
    };
  }
  job.cancel = CancelFlag();
  job.expectedSize = entryUnpacked_;
  job.progress = [this](int64_t) { ReportProgress(entryTotal_, entryDone_); };
  int r = drOk;
  if (compressed) {
    // made with the first compressed entry: its window is 4 MiB
    if (!unpacker_) unpacker_ = std::make_unique<TRarUnpacker>();
    r = unpacker_->Decode(job, version, solid);
    anyDecoded_ = true;
  } else {
    const TMethod& stored = *RarMethods().Find(kRarMethodStored);
    r = stored.decode(job, stored, 0);
  }
  if (!toOutput) return r == drOk;
  if (lostInGap_) return false;  // said already: the rest of the entry is in a missing volume
  if (r == drInvalidData && compressed) {
    ReportError(FileName, unpacker_->Problem(), VolumeName, E_BADBLOCK);
    return false;
  }
  return DecodeResultOk(r, produced, entryUnpacked_);
}

int64_t TUnRar::ReadPacked(uint8_t* buf, int64_t n) {
  while (partLeft_ <= 0) {
    if (!part_.splitAfter || stop_ || !NextPart(true)) return 0;
  }
  TStream32* s = archive_.get();
  n = std::min(n, partLeft_);
  if (s == nullptr || s->Seek(partPos_, plat::soFromBeginning) != partPos_) return 0;
  const int64_t got = s->Read(buf, n);
  if (got <= 0) return 0;
  partPos_ += got;
  partLeft_ -= got;
  UpdateCrc32(buf, got, packedCrc_);
  BytesRemaining = std::max<int64_t>(0, BytesRemaining - got);
  return got;
}

TZipCommon::TSetVolume TUnRar::OpenNextVolume(int64_t* first) {
  const bool newNumbering = rar5_ || (mainFlags_ & kRarMainNewNumbering);
  const std::string name = RarNextVolumeName(VolumeName, newNumbering);
  stop_ = true;
  int number = volume_ + 2;
  const TSetVolume got = name.empty() ? TSetVolume::None
                                      : RequestSetVolume(name, number, [newNumbering](const std::string& after, int) {
                                          return RarNextVolumeName(after, newNumbering);
                                        });
  if (!VolumeOpened(got)) return got;
  volume_ = number - 1;
  // A handler (or a renamed set) that leads back to a volume already read would go round forever.
  const std::string full = plat::ExpandFileName(VolumeName);
  if (!visited_.insert(full).second) {
    ReportError(GetArchiveFile(), "the volume set leads back to " + full, VolumeName, kBrokenVolumeChain);
    MarkArchiveFailed();
    return TSetVolume::None;
  }
  bool rar5 = false;
  const int code = ReadRarVolumeHead(Reader(), 0, *first, mainFlags_, &rar5);
  if ((code != 0 && !rar5) || rar5 != rar5_) {
    ReportError(GetArchiveFile(), "the next volume is not a RAR volume of the same set", VolumeName,
                code == E_PASSWORDPROTECTED ? code : E_BADFILEHEADER);
    MarkArchiveFailed();
    return TSetVolume::None;
  }
  stop_ = false;
  return got;
}

bool TUnRar::NextPart(bool checkPacked) {
  if (checkPacked && part_.crcOfPacked && (packedCrc_ ^ 0xFFFFFFFFu) != part_.crc) partsOk_ = false;
  int64_t first = 0;
  const TSetVolume got = OpenNextVolume(&first);
  // The rest of the entry is in a missing volume: said there, not again by the decoder.
  lostInGap_ = got == TSetVolume::PastGap || got == TSetVolume::Missing;
  if (!VolumeOpened(got)) return false;
  if (got == TSetVolume::PastGap) {
    // The rest of the entry is in the gap (reported as its error): the walk
    // goes on with the blocks after it, a solid stream starts again.
    part_ = TPart();
    part_.next = first;
    partLeft_ = 0;
    if (unpacker_) unpacker_->Interrupt();
    return false;
  }
  TPart next;
  bool continues = false;
  std::string why;
  if (rar5_) {
    TRar5Block b;
    continues = ReadRar5Block(Reader(), first, b, &why) == TRarRead::Ok && b.type == kRar5TypeFile &&
                b.SplitBefore() && b.name == part_.key;
    next.key = b.name;
    next.dataOffset = b.DataOffset();
    next.dataSize = Clamp(b.dataSize);
    next.next = b.NextOffset();
    next.crc = b.crc;
    next.splitAfter = b.SplitAfter();
  } else {
    TRarBlock b;
    continues = ReadRarBlock(Reader(), first, b, &why) == TRarRead::Ok && b.IsFile() && b.crcOk &&
                (b.flags & kRarSplitBefore) && b.nameField == part_.key;
    next.key = b.nameField;
    next.dataOffset = b.DataOffset();
    next.dataSize = Clamp(b.dataSize);
    next.next = b.NextOffset();
    next.crc = b.crc;
    next.splitAfter = (b.flags & kRarSplitAfter) != 0;
    next.crcOfPacked = next.splitAfter;
  }
  if (!continues) {
    ReportError(FileName, "the next volume does not continue the entry", VolumeName, kBrokenVolumeChain);
    stop_ = true;
    return false;
  }
  part_ = next;
  partPos_ = part_.dataOffset;
  partLeft_ = part_.dataSize;
  packedCrc_ = kCrc32Init;
  return true;
}

void TUnRar::FinishParts() {
  while (part_.splitAfter && !stop_ && !Cancelled()) {
    if (!NextPart(false)) return;
  }
  pos_ = part_.next;
}

bool TUnRar::CheckCrc(uint8_t crcKind, uint32_t stored) {
  (void)stored;
  if (part_.splitAfter) return false;
  if (part_.crcOfPacked && (packedCrc_ ^ 0xFFFFFFFFu) != part_.crc) partsOk_ = false;
  return partsOk_ && TUnBase::CheckCrc(crcKind, part_.crc);
}

}  // namespace zid
