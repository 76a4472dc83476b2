// The directory reader's RAR walker: the block format of RAR 1.5 to 2.x
// (which RAR 3 kept), self-extractors and volume sets named .rar, .r00, .r01 ...
//
// An archive is the 7-byte marker block, the main header and a chain of
// blocks. Every block starts with CRC (2), type (1), flags (2) and its header
// size (2); flag 0x8000 adds a 32-bit data size. File blocks (type 0x74) hold
// the packed and original sizes, host, CRC-32, DOS time, versions, method,
// name size and attributes, optionally the high halves of both sizes, then
// the name. A file that continues in the next volume is listed once, from
// its last part, with the packed sizes of all parts added up.
#include <algorithm>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <string_view>

#include "engine/base/zidBytes.h"
#include "engine/other/zidRarMethods.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "platform/codepage.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr uint8_t kMarker[] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
constexpr int kMarkerSize = 7;
constexpr int kMainSize = 13;
constexpr int kBlockHeadSize = 7;
constexpr int kLongHeadSize = 11;  // with the data size
constexpr int kFileHeadSize = 32;
constexpr int kHighSizes = 8;
constexpr size_t kMaxNameChars = 4096;

constexpr uint8_t kTypeMain = 0x73, kTypeFile = 0x74, kTypeOldComment = 0x75, kTypeService = 0x7A,
                  kTypeEnd = 0x7B;
constexpr uint16_t kLongBlock = 0x8000, kSkipIfUnknown = 0x4000;
constexpr uint16_t kSplitBefore = 0x0001, kSplitAfter = 0x0002, kEncrypted = 0x0004, kFolderDict = 0x00E0,
                   kLargeSizes = 0x0100, kUnicodeName = 0x0200;
constexpr uint16_t kMainHeadersEncrypted = 0x0080;
constexpr uint8_t kHostUnix = 3;
constexpr int kUnsupportedVersion = 25328;

// RAR's compact form of a UTF-16 name, stored after the NUL of the name's
// single-byte form: a high byte shared by many characters, then groups of
// four 2-bit commands, each taking its operands from the bytes after it:
// 0 one byte (high byte 0), 1 one byte with the shared high byte, 2 a whole
// character, 3 a run copied from the single-byte form (with a correction
// added and the shared high byte when its length byte has bit 7).
std::u16string DecodeUnicodeName(std::string_view plain, std::string_view enc) {
  std::u16string out;
  size_t pos = 0;
  auto next = [&](uint8_t& b) {
    if (pos >= enc.size()) return false;
    b = static_cast<uint8_t>(enc[pos++]);
    return true;
  };
  uint8_t high = 0, flags = 0, lo = 0, hi = 0, len = 0, corr = 0;
  if (!next(high)) return out;
  int bits = 0;
  while (pos < enc.size() && out.size() < kMaxNameChars) {
    if (bits == 0) {
      if (!next(flags)) break;
      bits = 8;
    }
    switch (flags >> 6) {
      case 0:
        if (!next(lo)) return out;
        out += static_cast<char16_t>(lo);
        break;
      case 1:
        if (!next(lo)) return out;
        out += static_cast<char16_t>(lo | (high << 8));
        break;
      case 2:
        if (!next(lo) || !next(hi)) return out;
        out += static_cast<char16_t>(lo | (hi << 8));
        break;
      default: {
        if (!next(len)) return out;
        const bool corrected = (len & 0x80) != 0;
        if (corrected && !next(corr)) return out;
        for (int n = (len & 0x7F) + 2; n > 0 && out.size() < plain.size(); --n) {
          const uint8_t c = static_cast<uint8_t>(plain[out.size()]);
          out += corrected ? static_cast<char16_t>(static_cast<uint8_t>(c + corr) | (high << 8))
                           : static_cast<char16_t>(c);
        }
        break;
      }
    }
    flags = static_cast<uint8_t>(flags << 2);
    bits -= 2;
  }
  return out;
}

// Up to the first NUL character; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& w) {
  std::string out;
  for (size_t i = 0; i < w.size() && w[i] != 0; ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    plat::AppendUtf8(out, c);
  }
  return out;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

class TRarWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  // Checks the marker and main header at pos; 0 and the first block's offset,
  // or the error code that describes what is there.
  static int ReadVolumeHead(TRizER& r, int64_t pos, int64_t& firstBlock);
  void FileBlock(TRizER& r, const uint8_t* h, uint16_t flags, uint16_t headSize, uint64_t packed);
  std::string EntryName(const TRizER& r, const std::string& field, uint16_t flags, uint8_t host) const;
  std::string NextVolumeName(TRizER& r);
  void NextVolume(TRizER& r);

  int64_t runningPacked_ = 0;
  int volume_ = 0;  // the open volume: 0 for x.rar, 1 for x.r00 ...
  char letter_ = 0;
  std::set<std::string> visited_;
};

int TRarWalker::ReadVolumeHead(TRizER& r, int64_t pos, int64_t& firstBlock) {
  uint8_t head[kMarkerSize + kMainSize];
  if (r.ReadAt(pos, head, sizeof head) != static_cast<int64_t>(sizeof head)) return E_READERROR;
  if (std::memcmp(head, kMarker, kMarkerSize - 1) != 0) return E_BADFILEHEADER;
  // RAR 5 changed the last marker byte along with everything after it.
  if (head[kMarkerSize - 1] != 0) return head[kMarkerSize - 1] == 1 ? kUnsupportedVersion : E_BADFILEHEADER;
  const uint8_t* m = head + kMarkerSize;
  const uint16_t size = Get16(m + 5);
  if (m[2] != kTypeMain || size < kMainSize) return E_BADFILEHEADER;
  if (Get16(m + 3) & kMainHeadersEncrypted) return E_PASSWORDPROTECTED;
  firstBlock = pos + kMarkerSize + size;
  return 0;
}

void TRarWalker::Setup(TRizER& r) {
  r.SetHeaderLength(0);
  volume_ = std::max(r.VolumeNumber(), 0);
  letter_ = r.VolumeLetter();
  visited_.insert(plat::ExpandFileName(r.GetArchiveFile()));
  int64_t first = 0;
  const int code = ReadVolumeHead(r, r.StartOffset, first);
  if (code != 0) {
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, code == E_READERROR ? E_BADFILEHEADER : code);
    return;
  }
  r.StartOffset = first;
  r.SetHeaderLength(kFileHeadSize);
}

void TRarWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf();
  const int64_t start = r.HeaderOffset();
  const uint8_t type = h[2];
  const uint16_t flags = Get16(h + 3);
  const uint16_t size = Get16(h + 5);
  if (size < kBlockHeadSize) return EndWalkBadHeader(r);
  if (type == kTypeEnd) return r.EndWalk();
  // Blocks without data (authenticity records among them) are passed over.
  if (type == kTypeOldComment || !(flags & kLongBlock)) {
    if (type == kTypeFile) return EndWalkBadHeader(r);
    return MoveWalkTo(r, start, size);
  }
  if (size < kLongHeadSize) return EndWalkBadHeader(r);

  uint64_t packed = Get32(h + 7);
  // File blocks and the service blocks that share their layout may carry the high halves of the sizes.
  const bool large = (type == kTypeFile || type == kTypeService) && (flags & kLargeSizes);
  if (large) {
    uint8_t high[4];
    if (size < kFileHeadSize + kHighSizes || r.ReadAt(start + kFileHeadSize, high, 4) != 4)
      return EndWalkBadHeader(r);
    packed |= static_cast<uint64_t>(Get32(high)) << 32;
  }
  if (type != kTypeFile || (flags & kSkipIfUnknown)) return MoveWalkTo(r, start, SaturatingAdd(size, packed));
  FileBlock(r, h, flags, size, packed);
}

void TRarWalker::FileBlock(TRizER& r, const uint8_t* h, uint16_t flags, uint16_t headSize, uint64_t packed) {
  const int64_t start = r.HeaderOffset();
  if (headSize < kFileHeadSize) return EndWalkBadHeader(r);
  const bool large = (flags & kLargeSizes) != 0;
  uint64_t unpacked = Get32(h + 11);
  const uint8_t host = h[15];
  const uint16_t nameSize = Get16(h + 26);
  const int64_t nameAt = kFileHeadSize + (large ? kHighSizes : 0);
  if (nameAt + nameSize > headSize) return EndWalkBadHeader(r);
  uint8_t high[kHighSizes];
  if (large && r.ReadAt(start + kFileHeadSize, high, kHighSizes) != kHighSizes) return EndWalkBadHeader(r);
  if (large) unpacked |= static_cast<uint64_t>(Get32(high + 4)) << 32;
  std::string field;
  if (!ReadBytes(r, start + nameAt, nameSize, field)) return EndWalkBadHeader(r);

  constexpr uint64_t kMaxSize = std::numeric_limits<int64_t>::max();
  const uint64_t part = std::min(packed, kMaxSize);
  const uint64_t sum = (flags & kSplitBefore) ? SaturatingAdd(static_cast<uint64_t>(runningPacked_), part) : part;
  runningPacked_ = static_cast<int64_t>(std::min(sum, kMaxSize));
  if (flags & kSplitAfter) return NextVolume(r);

  const uint32_t stored = Get32(h + 28);
  uint32_t attr = host == kHostUnix ? ((stored & 0xF000) == 0x4000 ? 0x10 : 0x20) : stored;
  const bool folder = (attr & 0x10) != 0 || (flags & kFolderDict) == kFolderDict;
  if (folder) attr |= 0x10;
  if (r.AcceptName(EntryName(r, field, flags, host), r.RecurseDirs)) {
    r.FileDate = DosDateToFileDate(Get32(h + 20));
    r.VersionMadeBy = h[24];
    r.VersionNeeded = 0;
    r.CRC = Get32(h + 16);
    r.Encrypted = (flags & kEncrypted) != 0;
    r.MethodId = h[25];
    r.MethodName = (attr & 0x10) ? std::string("<Dir>") : RarMethods().Name(h[25]);
    r.ExternalAttr = attr;
    r.InternalAttr = 0;
    r.PackedSize = runningPacked_;
    r.UnpackedSize = static_cast<int64_t>(std::min(unpacked, kMaxSize));
    r.ReportEntry(folder, false, start);
  }
  MoveWalkTo(r, start, SaturatingAdd(headSize, packed));
}

std::string TRarWalker::EntryName(const TRizER& r, const std::string& field, uint16_t flags, uint8_t host) const {
  const bool unixHost = host == kHostUnix;
  const size_t nul = field.find('\0');
  const std::string plain = field.substr(0, nul);
  if ((flags & kUnicodeName) && nul != std::string::npos) {
    const std::string name =
        Utf16ToUtf8(DecodeUnicodeName(plain, std::string_view(field).substr(nul + 1)));
    if (!name.empty()) return name;
  }
  // Without the compact form, names are UTF-8 (later writers) or in the host's code page.
  return r.DecodeName(plain, true, unixHost);
}

// The shared volume naming numbers the extension; the name keeps every dot
// before it ("set.part.rar" goes on with "set.part.r00").
std::string TRarWalker::NextVolumeName(TRizER& r) {
  TArchiveDetection& d = r.Detection();
  const char kept = d.VolumeLetter;
  d.VolumeLetter = letter_;
  const std::string numbered = r.VolumeFileName(r.GetArchiveFile(), volume_);
  letter_ = d.VolumeLetter;
  d.VolumeLetter = kept;
  return plat::ChangeFileExt(r.GetArchiveFile(), plat::ExtractFileExt(numbered));
}

void TRarWalker::NextVolume(TRizER& r) {
  if (!r.RequestVolume(NextVolumeName(r), volume_ + 2)) return r.EndWalk();
  ++volume_;
  r.ArchiveSwitched();
  // A set whose volumes lead back to one already walked would never end.
  if (!visited_.insert(plat::ExpandFileName(r.VolumeName)).second) return EndWalkBadHeader(r);
  int64_t first = 0;
  const int code = ReadVolumeHead(r, 0, first);
  if (code == E_READERROR) r.RaiseError(r.VolumeName, std::string(), r.VolumeName, E_READERROR);
  if (code != 0) {
    r.ReportError(r.VolumeName, std::string(), r.VolumeName, code == E_READERROR ? E_BADFILEHEADER : code);
    return r.EndWalk();
  }
  r.NextOffset = first;
}

}  // namespace

std::unique_ptr<TRizWalker> MakeRarWalker(TArcType) { return std::make_unique<TRarWalker>(); }

}  // namespace zid
