// Signature classification, the fallback scan and the text-format tests.
#include <cstring>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDetect.h"
#include "engine/other/zidArcHeader.h"

namespace zid {

namespace {

bool Is4(const uint8_t* b, uint8_t c0, uint8_t c1, uint8_t c2, uint8_t c3) {
  return b[0] == c0 && b[1] == c1 && b[2] == c2 && b[3] == c3;
}

TArcType Pick(TSignatureMode mode, TArcType plain, TArcType sfx) {
  return mode == TSignatureMode::Plain ? plain : sfx;
}

}  // namespace

TArcType ClassifySignature(TByteSource& src, TArchiveDetection& d, TSignatureMode mode, const uint8_t* b) {
  if (Is4(b, 'B', 'H', 0x05, 0x07)) return Pick(mode, atBh, atBhExe);
  if (Is4(b, 'R', 'a', 'r', '!')) return Pick(mode, atRar, atRarExe);
  if (Is4(b, 'P', 'K', 'G', '5')) return atUnknown;
  if (Is4(b, 'M', 'S', 'C', 'F')) return Pick(mode, atCab, atCabExe);
  if (Is4(b, 0xB7, 0xDF, 0x54, 0x57)) {
    if (mode == TSignatureMode::Plain) return atArc;
    d.ArcStartOffset = 7716;
    return atArcExe;
  }
  if (Is4(b, 0x13, 0x5D, 0x65, 0x8C)) return Pick(mode, atMsGZ, atUnsupported);
  if (b[2] == '-' && b[3] == 'l') return Pick(mode, atLha, atLhaExe);
  if (mode == TSignatureMode::Plain) {
    if (Is4(b, '7', 'z', 0xBC, 0xAF) && b[4] == 0x27 && b[5] == 0x1C) return atSevenZip;
    // cpio: the odc (070707) and newc (070701, 070702 with CRC) texts, or the binary magic in either byte order.
    if (std::memcmp(b, "07070", 5) == 0 && (b[5] == '7' || b[5] == '1' || b[5] == '2')) return atCpio;
    if ((b[0] == 0xC7 && b[1] == 0x71) || (b[0] == 0x71 && b[1] == 0xC7)) return atCpio;
  }

  const uint8_t b0 = b[0], b1 = b[1];
  if (b0 == 0x1A) {
    if (mode == TSignatureMode::Plain) {
      // Any method, confirmed by the headers themselves; PAK's own methods name the family.
      auto read = [&src](int64_t pos, void* buf, int64_t n) { return src.ReadAt(pos, buf, n); };
      if (ArcHeaderPlausible(read, 0, src.Size())) return b1 == 0x0A || b1 == 0x0B ? atPak : atArc;
    } else {
      if (b1 == 0x02 || b1 == 0x1E) return atUnsupported;
      if (b1 == 0x08 || b1 == 0x09) return atArcExe;
      if (b1 == 0x0A || b1 == 0x0B) return atPakExe;
    }
  }
  if ((b0 == 0x1F && (b1 == 0x1E || b1 == 0x8B || b1 == 0x9D || b1 == 0x9E || b1 == 0xA0)) ||
      (b0 == 0x25 && b1 == 0x21))
    return Pick(mode, atGZip, atUnsupported);
  if (b0 == 'H' && b1 == 'A') return Pick(mode, atHA, atUnsupported);
  if (b0 == 'P' && (b1 == 'K' || b1 == 'L')) {
    const uint8_t b2 = b[2], b3 = b[3];
    if (b2 == 0x01 && b3 == 0x02) {
      // A central header first: one disk of a multi-disk set.
      const TArcType t = CheckSpannedDisk(d.ArchiveFile);
      LocateZipDirectory(src, d);
      return t;
    }
    if (b2 == 0x07 && b3 == 0x08) return CheckSpannedDisk(d.ArchiveFile);
    if ((b2 == 0x47 && b3 == 0x34) || (b2 == 0x43 && b3 == 0x49)) return atNA;
    return Pick(mode, atZip, atZipExe);
  }
  if (b0 == 'Z' && b1 == 'O') return Pick(mode, atZoo, atUnsupported);
  if (b0 == 0xB7 && (b1 == 0x92 || b1 == 0xDF)) {
    d.ArcStartOffset = 7716;
    return atArcExe;
  }
  if (b0 == 0x60 && b1 == 0xEA) return Pick(mode, atArj, atArjExe);
  return atNA;
}

namespace {

constexpr int64_t kScanBlock = 32768;
constexpr int kScanBlocks = 11;

// Tests one position of a scan block; true when a candidate decided, with
// `found` false for an MSCF seen from a scan at 0 (which sets nothing).
bool TestCandidate(TByteSource& src, TArchiveDetection& d, const uint8_t* blk, int64_t n, int64_t i, int64_t b,
                   int64_t scanStart, TScanResult& r, bool& found) {
  const int64_t size = src.Size();
  const uint8_t* p = blk + i;
  const int64_t left = n - i;  // bytes of this block from p on
  auto set = [&](int64_t start, TArcType plain, TArcType exe) {
    r.Offset = start;
    r.Type = start == 0 ? plain : exe;
    found = true;
    return true;
  };
  found = false;
  switch (p[0]) {
    case 0x2A:  // "**ACE**" begins seven bytes into the archive
      if (b + 5 < size && left >= 5 && Is4(p + 1, 0x2A, 0x41, 0x43, 0x45) && b >= 7)
        return set(b - 7, atAce, atAceExe);
      return false;
    case 0x2D:  // "-lh?-" begins two bytes into an LHA header
      if (b + 5 < size && left >= 5 && p[1] == 0x6C && p[2] == 0x68 && p[4] == 0x2D && b >= 2)
        return set(b - 2, atLha, atLhaExe);
      return false;
    case 0x42:  // the second pattern is the BH stub's own copy of the signature
      if (left >= 8 && Is4(p, 'B', 'H', 0x05, 0x07) && !Is4(p + 4, 0x0F, 0x94, 0xC3, 0x84))
        return set(b, atBh, atBhExe);
      return false;
    case 0x4D:
      if (b + 5 < size && left >= 8 && Is4(p, 'M', 'S', 'C', 'F') && Is4(p + 4, 0, 0, 0, 0)) {
        if (scanStart > 0) return set(b, atCab, atCabExe);
        return true;
      }
      return false;
    case 0x50:  // the second pattern is the ZIP stub's own copy of the signature
      if (left >= 8 && Is4(p, 0x50, 0x4B, 0x03, 0x04) && !Is4(p + 4, 0x74, 0x0B, 0x3D, 0x00)) {
        const int64_t dir = LocateZipDirectory(src, d);
        r.Offset = dir > 0 ? dir : b;
        r.Type = scanStart == 0 ? atZip : atZipExe;
        found = true;
        return true;
      }
      return false;
    case 0x52:
      if (left >= 4 && Is4(p, 'R', 'a', 'r', '!')) return set(b, atRar, atRarExe);
      return false;
    case 0x60:  // an ARJ main header is followed by the first file header
      if (left >= 4 && p[1] == 0xEA) {
        const int64_t next = i + Get16(p + 2) + 10;
        if (next + 2 <= n && blk[next] == 0x60 && blk[next + 1] == 0xEA) return set(b, atArj, atArjExe);
      }
      return false;
    default:
      return false;
  }
}

}  // namespace

TScanResult ScanForSignature(TByteSource& src, TArchiveDetection& d, int64_t start) {
  TScanResult result;
  const int64_t size = src.Size();
  if (start < 0 || start >= size) return result;
  // Sources never throw (zidByteSource.h); what else is thrown (no memory) goes to the caller.
  std::vector<uint8_t> block(kScanBlock);
  int64_t pos = start;
  for (int k = 0; k < kScanBlocks; ++k) {
    const int64_t n = src.ReadAt(pos, block.data(), kScanBlock);
    if (n <= 0) break;
    for (int64_t i = 0; i < n; ++i) {
      TScanResult r;
      bool found = false;
      if (!TestCandidate(src, d, block.data(), n, i, pos + i, start, r, found)) continue;
      if (found) {
        result = r;
        if (result.Offset > 0) return result;
      }
      break;  // an archive at the very start: a later match may replace it
    }
    pos += n;
  }
  return result;
}

bool IsUuencoded(TByteSource& src) {
  uint8_t buf[5000];
  const int64_t n = src.ReadAt(0, buf, sizeof buf);
  auto startsWith = [&](int64_t at, const char* s) {
    const int64_t len = static_cast<int64_t>(std::strlen(s));
    return at + len <= n && std::memcmp(buf + at, s, static_cast<size_t>(len)) == 0;
  };
  bool sawBegin = false;
  for (int64_t line = 0; n - line > 2;) {
    if (startsWith(line, "begin 6") || startsWith(line, "begin 7") || startsWith(line, "begin-base64 6") ||
        startsWith(line, "begin-base64 7"))
      return true;
    if (startsWith(line, "begin"))
      sawBegin = true;
    else if (sawBegin && buf[line] == 'M')
      return true;
    const void* lf = std::memchr(buf + line, '\n', static_cast<size_t>(n - line));
    if (!lf) break;
    line = static_cast<const uint8_t*>(lf) - buf + 1;
  }
  return false;
}

namespace {

bool TarChecksumMatches(const uint8_t* h) {
  uint32_t stored = 0;
  for (int i = 148; i < 156 && h[i] != 0; ++i)
    if (h[i] >= '0' && h[i] <= '7') stored = stored * 8 + (h[i] - '0');
  uint32_t sum = 0;
  for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? 32 : h[i];
  return stored == sum;
}

}  // namespace

bool IsIso9660(TByteSource& src) {
  // The first volume descriptor sits at sector 16: its type byte, then "CD001".
  uint8_t id[5];
  return src.ReadAt(0x8001, id, 5) == 5 && std::memcmp(id, "CD001", 5) == 0;
}

bool IsTar(TByteSource& src, TArchiveDetection& d) {
  const int64_t size = src.Size();
  if (size <= 512) return false;
  uint8_t h[512] = {};
  src.ReadAt(0, h, sizeof h);
  if (h[156] == 'V') {  // a GNU volume label: the archive proper follows
    d.ArcStartOffset = 512;
    std::memset(h, 0, sizeof h);
    if (512 + 512 >= size || src.ReadAt(512, h, sizeof h) != 512) {
      d.ArcStartOffset = -1;
      return false;
    }
  }
  if (TarChecksumMatches(h)) return true;
  d.ArcStartOffset = -1;
  return false;
}

}  // namespace zid
