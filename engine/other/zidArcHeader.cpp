#include "engine/other/zidArcHeader.h"

#include "engine/base/zidBytes.h"

namespace zid {

namespace {

constexpr uint8_t kLastMethod = 11;                     // PAK's distilled
constexpr uint8_t kFirstInfo = 20, kLastInfo = 29;      // ARC 6 comment and information records

bool EntryMethod(uint8_t m) { return (m >= 1 && m <= kLastMethod) || (m >= kFirstInfo && m <= kLastInfo); }

// A NUL within the name field, at least one byte before it, none of them controls.
bool PlausibleName(const uint8_t* field) {
  int n = 0;
  while (n < kArcNameField && field[n] != 0) {
    if (field[n] < 0x20 || field[n] == 0x7F) return false;
    ++n;
  }
  return n > 0 && n < kArcNameField;
}

}  // namespace

int64_t TArcHeader::Next(int64_t pos) const {
  switch (record) {
    case TArcRecord::Folder: return pos + kArcHeaderSize;
    case TArcRecord::FolderEnd: return pos + kArcFolderEndSize;
    case TArcRecord::Entry: return pos + headerSize + static_cast<int64_t>(packedSize);
    default: return -1;
  }
}

TArcHeader ParseArcHeader(const uint8_t* h, int n) {
  TArcHeader a;
  if (n < 2 || h[0] != kArcMarker) return a;
  a.method = h[1];
  if (a.method == kArcMethodEnd) {
    a.record = TArcRecord::End;
    return a;
  }
  if (a.method == kArcMethodFolderEnd) {
    a.record = TArcRecord::FolderEnd;
    return a;
  }
  a.headerSize = a.method == kArcMethodOld ? kArcOldHeaderSize : kArcHeaderSize;
  if (n < a.headerSize) return a;
  size_t len = 0;
  while (len < kArcNameField && h[2 + len] != 0) ++len;
  a.name.assign(reinterpret_cast<const char*>(h + 2), len);
  a.packedSize = Get32(h + 15);
  a.dateFirst = Get32(h + 19);
  a.dosDate = (a.dateFirst >> 16) | (a.dateFirst << 16);
  a.crc = Get16(h + 23);
  a.originalSize = a.method == kArcMethodOld ? a.packedSize : Get32(h + 25);
  a.record = a.method == kArcMethodFolder ? TArcRecord::Folder : TArcRecord::Entry;
  return a;
}

bool ArcHeaderPlausible(const TArcReadAt& read, int64_t pos, int64_t size) {
  uint8_t h[kArcHeaderSize] = {};
  const int64_t got = read(pos, h, kArcHeaderSize);
  if (got < kArcOldHeaderSize || h[0] != kArcMarker) return false;
  if (!EntryMethod(h[1]) && h[1] != kArcMethodFolder) return false;
  const TArcHeader a = ParseArcHeader(h, static_cast<int>(got));
  if (a.record == TArcRecord::Bad || !PlausibleName(h + 2)) return false;
  const int64_t next = a.Next(pos);
  if (next > size) return false;
  if (next == size) return a.record == TArcRecord::Entry;
  uint8_t m[2] = {};
  const int64_t n = read(next, m, 2);
  if (m[0] != kArcMarker) return false;
  if (n == 1) return true;  // a bare marker ends some archives
  return m[1] == kArcMethodEnd || EntryMethod(m[1]) || m[1] == kArcMethodFolder ||
         (m[1] == kArcMethodFolderEnd && a.record == TArcRecord::Entry);
}

TResyncProbe ArcResyncProbe(const TArcReadAt& read, int64_t size) {
  TResyncProbe probe;
  probe.magic = std::string_view("\x1A", 1);
  probe.good = [read, size](int64_t at) { return ArcHeaderPlausible(read, at, size); };
  return probe;
}

}  // namespace zid
