#include "engine/base/zidPeResource.h"

#include "engine/base/zidBytes.h"

namespace zid {

namespace {

constexpr uint32_t kStringResourceType = 6;
constexpr uint32_t kSubdirFlag = 0x80000000;
// Directories with more entries than this are not searched past it; a
// string table sits among the first few types of any real executable.
constexpr uint32_t kMaxDirEntries = 4096;

bool ReadExact(TByteSource& src, int64_t pos, void* buf, int64_t n) { return src.ReadAt(pos, buf, n) == n; }

}  // namespace

bool TPeStringTable::Open(TByteSource& src) {
  src_ = nullptr;
  sectionCount_ = 0;
  uint8_t mz[64];
  if (!ReadExact(src, 0, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z') return false;
  const int64_t pe = Get32(mz + 0x3C);
  uint8_t coff[24];
  if (!ReadExact(src, pe, coff, sizeof coff) || Get32(coff) != 0x00004550) return false;  // "PE\0\0"
  const int sections = Get16(coff + 6);
  const int64_t optional = pe + 24;
  const int64_t optionalSize = Get16(coff + 20);

  uint8_t opt[240] = {};
  const int64_t optRead = src.ReadAt(optional, opt, std::min<int64_t>(optionalSize, sizeof opt));
  if (optRead < 2) return false;
  const uint16_t magic = Get16(opt);
  size_t dirCountAt;
  if (magic == 0x10B)
    dirCountAt = 92;  // PE32
  else if (magic == 0x20B)
    dirCountAt = 108;  // PE32+
  else
    return false;
  // Data directory 2 (resources) follows the count: eight bytes per entry.
  const size_t resourceDirAt = dirCountAt + 4 + 2 * 8;
  if (static_cast<int64_t>(resourceDirAt + 8) > optRead) return false;
  if (Get32(opt + dirCountAt) < 3) return false;
  resourceRva_ = Get32(opt + resourceDirAt);
  if (resourceRva_ == 0) return false;

  const int64_t table = optional + optionalSize;
  for (int i = 0; i < sections && sectionCount_ < kMaxSections; ++i) {
    uint8_t s[40];
    if (!ReadExact(src, table + int64_t{40} * i, s, sizeof s)) break;
    Section& sec = sections_[sectionCount_++];
    sec.virtualSize = Get32(s + 8);
    sec.rva = Get32(s + 12);
    sec.rawSize = Get32(s + 16);
    sec.rawOffset = Get32(s + 20);
  }
  src_ = &src;
  bool isDir = false;
  if (!FindEntry(0, kStringResourceType, false, stringTypeDir_, isDir) || !isDir) {
    src_ = nullptr;
    return false;
  }
  return true;
}

int64_t TPeStringTable::RvaToOffset(uint32_t rva) const {
  for (int i = 0; i < sectionCount_; ++i) {
    const Section& s = sections_[i];
    const uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.rva && rva - s.rva < span) {
      const uint32_t delta = rva - s.rva;
      if (delta >= s.rawSize) return -1;  // uninitialised data has no bytes in the file
      return int64_t{s.rawOffset} + delta;
    }
  }
  return -1;
}

int64_t TPeStringTable::ResourceOffset(uint32_t offset) const {
  const uint64_t rva = uint64_t{resourceRva_} + offset;
  if (rva > 0xFFFFFFFFu) return -1;
  return RvaToOffset(static_cast<uint32_t>(rva));
}

bool TPeStringTable::FindEntry(uint32_t dirOffset, uint32_t id, bool anyId, uint32_t& target, bool& isDir) const {
  const int64_t dir = ResourceOffset(dirOffset);
  uint8_t head[16];
  if (dir < 0 || !ReadExact(*src_, dir, head, sizeof head)) return false;
  uint32_t count = uint32_t{Get16(head + 12)} + Get16(head + 14);
  if (count > kMaxDirEntries) count = kMaxDirEntries;
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t e[8];
    if (!ReadExact(*src_, dir + 16 + int64_t{8} * i, e, sizeof e)) return false;
    const uint32_t name = Get32(e);
    if (!anyId && ((name & kSubdirFlag) != 0 || name != id)) continue;
    const uint32_t off = Get32(e + 4);
    isDir = (off & kSubdirFlag) != 0;
    target = off & ~kSubdirFlag;
    return true;
  }
  return false;
}

std::string TPeStringTable::LoadString(uint32_t id, size_t maxChars) const {
  if (!src_) return "";
  // Strings live in blocks of sixteen: block id / 16 + 1, slot id mod 16.
  uint32_t target = 0;
  bool isDir = false;
  if (!FindEntry(stringTypeDir_, id / 16 + 1, false, target, isDir) || !isDir) return "";
  // Any language will do: the first one listed.
  if (!FindEntry(target, 0, true, target, isDir) || isDir) return "";
  const int64_t entry = ResourceOffset(target);
  uint8_t data[8];
  if (entry < 0 || !ReadExact(*src_, entry, data, sizeof data)) return "";
  const int64_t block = RvaToOffset(Get32(data));
  const int64_t blockSize = Get32(data + 4);
  if (block < 0) return "";

  // Each slot: a 16-bit length, then that many UTF-16 units.
  int64_t pos = 0;
  for (uint32_t slot = 0; slot < id % 16; ++slot) {
    uint8_t len[2];
    if (pos + 2 > blockSize || !ReadExact(*src_, block + pos, len, 2)) return "";
    pos += 2 + int64_t{2} * Get16(len);
  }
  uint8_t len[2];
  if (pos + 2 > blockSize || !ReadExact(*src_, block + pos, len, 2)) return "";
  pos += 2;
  const size_t chars = std::min<size_t>(Get16(len), maxChars);
  std::string out;
  for (size_t i = 0; i < chars; ++i) {
    uint8_t u[2];
    if (pos + 2 > blockSize || !ReadExact(*src_, block + pos, u, 2)) break;
    pos += 2;
    const uint16_t c = Get16(u);
    if (c == 0) break;
    out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return out;
}

}  // namespace zid
