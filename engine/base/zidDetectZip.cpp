// Finding the ZIP end record and central directory from the tail of a file.
// The records are read here through the few fields of zidZipSigs.h, not
// through the ZIP family's record types.
#include <cstring>
#include <limits>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

namespace {

constexpr int64_t kZipWindow = 32768;
constexpr int kForwardWindows = 4;
constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

bool IsAnyEndSig(uint32_t sig) { return IsEndSig(sig) || IsLargeEndSig(sig); }

// The last end record signature in buf[0..n), or -1.
int64_t FindEndRecord(const uint8_t* buf, int64_t n) {
  for (int64_t i = n - 4; i >= 0; --i)
    if (buf[i] == 0x50 && IsAnyEndSig(Get32(buf + i))) return i;
  return -1;
}

// No directory where the end record says: the first local header among the
// first four windows of the file (-1 when windows were read and none held one).
int64_t ForwardFallback(TByteSource& src, TArchiveDetection& d, std::vector<uint8_t>& buf, int64_t window) {
  int64_t result = 0;
  for (int k = 0; k < kForwardWindows; ++k) {
    const int64_t n = src.ReadAt(k * window, buf.data(), window);
    if (n <= 0) return result;
    result = -1;
    for (int64_t j = 0; j + 4 <= n; ++j) {
      if (buf[j] == 0x50 && IsLocalSig(Get32(&buf[j]))) {
        d.ZipStructureFlags = htLocal;
        return k * window + j;
      }
    }
  }
  return result;
}

}  // namespace

int64_t LocateZipDirectory(TByteSource& src, TArchiveDetection& d) {
  const int64_t size = src.Size();
  if (size <= 0) return 0;
  const int64_t window = size > kZipWindow ? kZipWindow : size - 1;
  d.ZipStructureFlags = 0;
  if (window <= 0) return 0;

  std::vector<uint8_t> buf(static_cast<size_t>(window));
  const int64_t tail = size - window;
  const int64_t got = src.ReadAt(tail, buf.data(), window);
  const int64_t at = FindEndRecord(buf.data(), got);
  if (at < 0) return 0;

  // The record may be cut short by the end of the file: missing bytes read as 0.
  const int64_t endPos = tail + at;
  const bool large = IsLargeEndSig(Get32(&buf[at]));
  const bool enciphered = IsEncipheredSig(Get32(&buf[at]));
  const int64_t recSize = large ? kLargeEndRecordSize : kEndRecordSize;
  uint8_t rec[kLargeEndRecordSize] = {};
  std::memcpy(rec, &buf[at], static_cast<size_t>(std::min(recSize, got - at)));
  d.ZipStructureFlags |= htEnding;
  if (enciphered) DecryptHeaderRecord(rec, large ? hrEnding64 : hrEnding);
  std::memcpy(d.EndRecord.data(), rec, sizeof rec);
  const uint64_t dirSize = TZipTailFields::DirectorySize(rec);
  const uint64_t dirOffset = TZipTailFields::DirectoryOffset(rec);

  uint8_t loc[kZip64LocatorSize] = {};
  uint8_t z64[kZip64EndRecordSize] = {};
  if (endPos >= 20 && src.ReadAt(endPos - 20, loc, sizeof loc) == sizeof loc && Get32(loc) == kZip64LocatorSig) {
    d.ZipStructureFlags |= htLocator;
    std::memcpy(d.Zip64Locator.data(), loc, sizeof loc);
    if (endPos >= 76 && src.ReadAt(endPos - 76, z64, sizeof z64) == sizeof z64 && Get32(z64) == kZip64EndSig) {
      d.ZipStructureFlags |= htEnding64;
      std::memcpy(d.Zip64EndRecord.data(), z64, sizeof z64);
    }
  }
  d.ZipCommentPos = endPos + recSize;

  // Where the directory should be; "behind" is where it is when the archive
  // sits behind a prefix its offsets do not count.
  const int64_t behind = endPos - static_cast<int64_t>(dirSize);
  uint64_t want = 0;
  bool wantValid = true;
  if (large) {
    want = dirOffset;
  } else if (d.ZipStructureFlags & htEnding64) {
    const uint64_t at64 = TZipTailFields::Zip64EndRecordOffset(loc);
    const uint64_t size64 = TZipTailFields::Zip64DirectorySize(z64);
    wantValid = at64 >= size64;
    want = at64 - size64;
  } else {
    want = behind < 0 ? kMaxOffset + 1 : static_cast<uint64_t>(behind);
  }
  int64_t c = behind;
  uint8_t ch[kCentralHeaderSize] = {};
  int64_t n = 0;
  if (wantValid && want <= kMaxOffset) {
    c = static_cast<int64_t>(want);
    n = src.ReadAt(c, ch, sizeof ch);
  }
  if (n < static_cast<int64_t>(sizeof ch)) {
    c = behind;
    if (src.ReadAt(c, ch, sizeof ch) < static_cast<int64_t>(sizeof ch)) return 0;
  }
  bool found = IsCentralSig(Get32(ch));
  if (!found && src.ReadAt(behind, ch, sizeof ch) == sizeof ch && IsCentralSig(Get32(ch))) {
    c = behind;
    found = true;
  }
  d.ZipOffsetAdjust = 0;
  if (!found) return ForwardFallback(src, d, buf, window);
  // A directory found away from its stored offset means a prefix the
  // archive's offsets do not count (a stub glued in front): every stored
  // offset is then off by the same amount. The difference wraps at 32 bits.
  uint64_t stored = dirOffset;
  if (!large && (d.ZipStructureFlags & htEnding64)) stored = TZipTailFields::Zip64DirectoryOffset(z64);
  d.ZipOffsetAdjust = static_cast<int32_t>(static_cast<uint64_t>(c) - stored);

  d.ZipStructureFlags |= htCentral;
  const bool centralEnciphered = IsEncipheredSig(Get32(ch));
  if (centralEnciphered) DecryptHeaderRecord(ch, hrCentral);
  std::memcpy(d.CentralHeader.data(), ch, sizeof ch);
  const int64_t localPos = static_cast<int64_t>(TZipTailFields::LocalHeaderOffset(ch)) + d.ZipOffsetAdjust;
  uint8_t lh[kLocalHeaderSize] = {};
  if (localPos >= 0 && src.ReadAt(localPos, lh, sizeof lh) == sizeof lh && IsLocalSig(Get32(lh))) {
    d.ZipStructureFlags |= htLocal;
    if (IsEncipheredSig(Get32(lh))) DecryptHeaderRecord(lh, hrLocal);
    std::memcpy(d.LocalHeader.data(), lh, sizeof lh);
  }
  return c;
}

}  // namespace zid
