#include "engine/other/zidUnArj.h"

#include <algorithm>

#include "engine/base/zidCrc.h"
#include "engine/base/zidStreams.h"
#include "engine/other/zidArjHeader.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr int kMaxPasswordAttempts = 10;
constexpr uint8_t kFirstUnsupportedVersion = 4;
// Encryption versions 0 and 1 are the XOR garbling; later ones are ciphers this engine does not have.
constexpr uint8_t kLastXorEncryption = 1;

// The working key of a garbled entry: every password character plus the header's modifier.
std::string GarbleKey(const std::string& password, uint8_t modifier) {
  std::string key = password;
  for (char& c : key) c = static_cast<char>(static_cast<uint8_t>(c) + modifier);
  return key;
}

}  // namespace

TUnARJ::TUnARJ() = default;
TUnARJ::~TUnARJ() = default;

std::string TUnARJ::VolumeFileName(const std::string& name, int n) {
  return ArjVolumeName(name, n, VolumeLetter() ? VolumeLetter() : 'a');
}

TArjRead TUnARJ::ReadHeader(int64_t pos, TArjHeader& h, std::string* why) {
  TStream32* s = archive_.get();
  auto read = [s](int64_t p, void* buf, int64_t n) -> int64_t { return s != nullptr ? ReadFullAt(*s, p, buf, n) : 0; };
  return ReadArjHeader(read, pos, h, why);
}

bool TUnARJ::ReadMainHeader(int64_t pos, int64_t* next, std::string* why) {
  TArjHeader h;
  const TArjRead r = ReadHeader(pos, h, why);
  if (r == TArjRead::End && why) *why = "the archive has no main header";
  if (r != TArjRead::Ok) return false;
  mainFlags_ = h.flags;
  encryptionVersion_ = h.encryptionVersion;
  *next = h.dataOffset;
  return true;
}

TZipCommon::TSetVolume TUnARJ::NextVolume(int64_t* next) {
  stop_ = true;
  int number = volumeNumber_ + 1;
  const TSetVolume got =
      RequestSetVolume(VolumeFileName(GetArchiveFile(), volumeNumber_), number,
                       [this](const std::string&, int n) { return VolumeFileName(GetArchiveFile(), n - 1); });
  if (!VolumeOpened(got)) return got;
  volumeNumber_ = number;
  // A handler that leads back to a volume already read would go round forever.
  const std::string full = plat::ExpandFileName(VolumeName);
  if (!visited_.insert(full).second) {
    ReportError(GetArchiveFile(), "the volume set leads back to " + full, VolumeName, E_BADFILEHEADER);
    MarkArchiveFailed();
    return TSetVolume::None;
  }
  std::string why;
  if (!ReadMainHeader(0, next, &why)) {
    ReportError(GetArchiveFile(), why, VolumeName, E_BADFILEHEADER);
    MarkArchiveFailed();
    return TSetVolume::None;
  }
  stop_ = false;
  return got;
}

void TUnARJ::ProcessArchive() {
  const TArcType t = GetArcType();
  if (t != atArj && t != atArjExe) {
    ArchiveFailed(E_BADARCTYPE, ArcTypeEnumName(t));
    return;
  }
  PasswordAttempts = std::min(PasswordAttempts, kMaxPasswordAttempts);
  volumeNumber_ = std::max(1, VolumeNumber());
  stop_ = false;
  encryptionVersion_ = 0;
  visited_.clear();
  visited_.insert(plat::ExpandFileName(GetArchiveFile()));
  int64_t pos = 0;
  std::string why;
  if (!ReadMainHeader(ArcStartOffset(), &pos, &why)) {
    ArchiveFailed(E_BADFILEHEADER, why);
    return;
  }
  while (!Cancelled()) {
    std::vector<TArjHeader> list;
    const bool complete = ScanVolume(pos, list);
    followed_ = false;
    const auto lostRegion = [this](const std::string& text) { HeaderFailed(VolumeName, E_BADFILEHEADER, text); };
    for (size_t i = 0; i < list.size() && !Cancelled() && !followed_; ++i) {
      lost_.Before(i, lostRegion);
      ExtractOne(list[i], complete && i + 1 == list.size());
    }
    if (!Cancelled() && !followed_) lost_.Before(list.size(), lostRegion);
    if (Cancelled() || stop_) break;
    if (followed_) {
      pos = resumePos_;
      continue;
    }
    if (!complete || !(mainFlags_ & kArjVolume)) break;
    if (!VolumeOpened(NextVolume(&pos))) break;
  }
}

bool TUnARJ::ScanVolume(int64_t pos, std::vector<TArjHeader>& list) {
  lost_.Clear();
  // The sizes of a damaged header cannot be trusted: the walk goes on at the
  // next local header whose CRC matches.
  TStream32* s = archive_.get();
  const TResyncReadAt read = [s](int64_t p, void* buf, int64_t n) -> int64_t {
    return s != nullptr ? ReadFullAt(*s, p, buf, n) : 0;
  };
  const TResyncProbe probe = ArjResyncProbe(read);
  while (!Cancelled()) {
    TArjHeader h;
    std::string why;
    const TArjRead r = ReadHeader(pos, h, &why);
    if (r == TArjRead::End) return true;
    if (r == TArjRead::Bad) {
      const int64_t next = FindNextHeader(read, pos, ArchiveSize(), probe);
      lost_.Add(list.size(), DamagedRegionText(why, pos, next, ArchiveSize()));
      if (next < 0) return false;
      pos = next;
      continue;
    }
    // The rest of an entry begun in the previous volume: handled with its start, or not at all.
    if (!(h.flags & kArjExtFile)) list.push_back(h);
    pos = h.NextOffset();
  }
  return false;
}

void TUnARJ::ExtractOne(const TArjHeader& h, bool lastOfVolume) {
  const std::string name = ArjEntryName(h, TranslateOemChar);
  if (h.fileType == kArjLabel || h.fileType == kArjChapter) {
    SkipEntry(h.packedSize);
    return;
  }
  TEntry te;
  te.storedName = name;
  te.packedSize = h.packedSize;
  te.unpackedSize = h.originalSize;
  te.crc = h.crc;
  te.crcKind = 32;
  te.dosDate = h.dosDate;
  te.isDir = h.fileType == kArjFolder;
  te.encrypted = (h.flags & kArjGarbled) != 0 && !te.isDir;
  if (h.UnixHost()) {
    // Unix hosts keep a Unix time and a Unix mode in these fields.
    te.unixTime = h.dosDate;
    te.attr = te.isDir ? 0x10 : 0x20;
    te.unixMode = h.accessMode & 0777;
  } else {
    te.attr = h.accessMode & 0xFF;
  }
  const bool isFile = h.fileType == kArjBinary || h.fileType == kArjText;
  if (!te.isDir) {
    int code = 0;
    std::string extra;
    if (!isFile) {
      code = E_UNKNOWNFILETYPE;
      extra = "file type " + std::to_string(h.fileType);
    } else if (h.minVersion >= kFirstUnsupportedVersion) {
      code = E_VERSIONERROR;
      extra = "version " + std::to_string(h.minVersion);
    } else if (ArjMethods().Find(h.method) == nullptr || (h.method == 4 && h.version == 1)) {
      code = E_UNSUPPORTEDMETHOD;
      extra = ArjMethods().Described(h.method);
    } else if (te.encrypted && encryptionVersion_ > kLastXorEncryption) {
      code = E_UNSUPPORTEDMETHOD;
      extra = "encryption version " + std::to_string(encryptionVersion_);
    }
    if (code != 0) return RejectEntry(te, code, extra);
  }
  partsOk_ = true;
  partCrc_ = h.crc;
  const bool follow = lastOfVolume && (h.flags & kArjVolume);
  auto decode = [&] { return DecodeEntry(h, follow); };
  auto verify = [&](const std::string& password) { return VerifyPassword(h, password); };
  ExtractEntry(te, decode, te.encrypted ? std::function<bool(const std::string&)>(verify)
                                        : std::function<bool(const std::string&)>());
}

int TUnARJ::DecodePart(const TArjHeader& h, const std::string& key, TDecodeSink sink, int64_t* produced) {
  TDecodeSource source = EntrySource(h.dataOffset, h.packedSize);
  if (!key.empty())
    source = TransformedSource(std::move(source), [key, at = size_t{0}](uint8_t* buf, int64_t n) mutable {
      for (int64_t i = 0; i < n; ++i) {
        buf[i] ^= static_cast<uint8_t>(key[at]);
        if (++at == key.size()) at = 0;
      }
    });
  const TDecodeJob job = EntryJob(std::move(source), h.originalSize, *produced, std::move(sink));
  const TMethod* m = ArjMethods().Find(h.method);
  return m != nullptr && m->Decodes() ? m->decode(job, *m, 0) : drInvalidData;
}

bool TUnARJ::VerifyPassword(const TArjHeader& h, const std::string& password) {
  if (password.empty()) return false;
  uint32_t crc = kCrc32Init;
  TDecodeSink sink;
  sink.write = [&crc](const uint8_t* buf, int64_t n) -> int64_t {
    UpdateCrc32(buf, n, crc);
    return n;
  };
  int64_t produced = 0;
  const int r = DecodePart(h, GarbleKey(password, h.modifier), sink, &produced);
  return r == drOk && produced == h.originalSize && CheckCrcAgainst(crc ^ 0xFFFFFFFFu, h.crc);
}

bool TUnARJ::DecodeEntry(const TArjHeader& first, bool follow) {
  if (first.fileType == kArjFolder) return true;
  TArjHeader part = first;
  for (;;) {
    const std::string key = (part.flags & kArjGarbled) ? GarbleKey(Password, part.modifier) : std::string();
    BeginChecksum(32);
    partCrc_ = part.crc;
    int64_t produced = 0;
    const int r = DecodePart(part, key, TDecodeSink(), &produced);
    if (!DecodeResultOk(r, produced, part.originalSize)) return false;
    if (!follow || !(part.flags & kArjVolume)) return true;
    // The entry goes on in the next volume; this part has its own CRC.
    if (!CheckCrcAgainst(ComputedCrc(), part.crc)) partsOk_ = false;
    int64_t pos = 0;
    const TSetVolume got = NextVolume(&pos);
    if (!VolumeOpened(got)) return false;
    followed_ = true;
    resumePos_ = pos;
    // The rest is in the missing volume (reported as this entry's error); the
    // walk goes on with the entries that begin after the gap.
    if (got == TSetVolume::PastGap) return false;
    TArjHeader next;
    std::string why;
    const TArjRead rr = ReadHeader(pos, next, &why);
    if (rr != TArjRead::Ok || !(next.flags & kArjExtFile) || next.rawName != first.rawName) {
      ReportError(FileName, rr == TArjRead::Ok ? "the next volume does not continue the entry" : why, VolumeName,
                  E_BADFILEHEADER);
      return false;
    }
    resumePos_ = next.NextOffset();
    part = next;
  }
}

bool TUnARJ::CheckCrc(uint8_t crcKind, uint32_t stored) {
  (void)stored;
  return partsOk_ && TUnBase::CheckCrc(crcKind, partCrc_);
}

}  // namespace zid
