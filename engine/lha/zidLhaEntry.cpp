#include "engine/lha/zidLhaEntry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/zidBytes.h"
#include "platform/codepage.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr size_t kBaseSize = 22;
// The Unix extension of a level-0 header: "U", version 0, time, mode, uid, gid.
constexpr size_t kUnixExtSize = 12;
// A header walk reads at most this many extended headers.
constexpr int kMaxExtHeaders = 4096;

bool ReadAt(TStream32& in, int64_t pos, void* buf, int64_t n) {
  if (n == 0) return true;
  if (in.Seek(pos, plat::soFromBeginning) != pos) return false;
  return in.Read(buf, n) == n;
}

// Folder separators of stored names ("\" and 0xFF) become "/".
std::string Slashes(std::string s) {
  for (char& c : s)
    if (c == '\\' || static_cast<uint8_t>(c) == 0xFF) c = '/';
  return s;
}

// One extended header's type and data (size bytes: type, data, next size).
void TakeExtended(TLhaEntry& e, const uint8_t* b, size_t size, std::string& dir) {
  const uint8_t type = b[0];
  const uint8_t* d = b + 1;
  const size_t n = size - 3;
  switch (type) {
    case 0x01:
      e.Name.assign(reinterpret_cast<const char*>(d), n);
      break;
    case 0x02:
      dir.assign(reinterpret_cast<const char*>(d), n);
      break;
    case 0x40:
      if (n >= 2) e.Attr = d[0];
      break;
    case 0x50:
      if (n >= 2) {
        e.HasMode = true;
        e.Mode = Get16(d);
      }
      break;
    case 0x51:
      if (n >= 4) {
        e.Gid = Get16(d);
        e.Uid = Get16(d + 2);
      }
      break;
    case 0x54:
      if (n >= 4) e.UnixTime = Get32(d);
      break;
    default:
      break;
  }
}

// Walks a chain of extended headers from pos, whose first size is `size`.
// Returns the bytes the chain takes, or -1 when it is malformed or passes `limit`.
int64_t WalkExtended(TStream32& in, int64_t pos, uint32_t size, int64_t limit, TLhaEntry& e, std::string& dir) {
  int64_t used = 0;
  std::vector<uint8_t> b;
  for (int count = 0; size != 0; ++count) {
    if (count >= kMaxExtHeaders || size < 3 || pos + used + size > limit) return -1;
    b.resize(size);
    if (!ReadAt(in, pos + used, b.data(), size)) return -1;
    TakeExtended(e, b.data(), size, dir);
    used += size;
    size = Get16(b.data() + size - 2);
  }
  return used;
}

}  // namespace

TLhaRead ReadLhaEntry(TStream32& in, int64_t pos, int64_t size, TLhaEntry& e) {
  e = TLhaEntry{};
  e.Offset = pos;
  uint8_t b[kBaseSize];
  if (pos >= size) return lrEnd;
  if (!ReadAt(in, pos, b, 1)) return lrBad;
  if (b[0] == 0) return lrEnd;
  if (size - pos < static_cast<int64_t>(kBaseSize) || !ReadAt(in, pos, b, kBaseSize)) return lrBad;
  std::memcpy(e.Method, b + 2, 5);
  if (e.Method[0] != '-' || e.Method[4] != '-') return lrBad;
  const uint32_t packed = Get32(b + 7);
  e.Original = Get32(b + 11);
  e.Attr = b[19];
  e.Level = b[20];
  std::string dir;

  if (e.Level == 0 || e.Level == 1) {
    const size_t total = size_t{b[0]} + 2;
    const size_t n = b[21];
    const size_t need = kBaseSize + n + 2 + (e.Level == 1 ? 3 : 0);
    if (total < need || pos + static_cast<int64_t>(total) > size) return lrBad;
    std::vector<uint8_t> h(total);
    if (!ReadAt(in, pos, h.data(), static_cast<int64_t>(total))) return lrBad;
    // The checksum is verified: an archive is rebuilt from what is read here,
    // and bytes that only look like a header must not pass for one.
    unsigned sum = 0;
    for (size_t i = 2; i < total; ++i) sum += h[i];
    if ((sum & 0xFF) != h[1]) return lrBad;
    e.Name.assign(reinterpret_cast<const char*>(h.data() + kBaseSize), n);
    e.Crc = Get16(h.data() + kBaseSize + n);
    e.DosDate = Get32(b + 15);
    const size_t ext = kBaseSize + n + 2;
    int64_t extUsed = 0;
    if (e.Level == 0) {
      if (total - ext >= kUnixExtSize && h[ext] == 'U') {
        e.UnixTime = Get32(h.data() + ext + 2);
        e.HasMode = true;
        e.Mode = Get16(h.data() + ext + 6);
        e.Uid = Get16(h.data() + ext + 8);
        e.Gid = Get16(h.data() + ext + 10);
      }
    } else {
      const int64_t extStart = pos + static_cast<int64_t>(total);
      extUsed = WalkExtended(in, extStart, Get16(h.data() + total - 2),
                             std::min<int64_t>(size, extStart + packed), e, dir);
      if (extUsed < 0) return lrBad;
    }
    e.DataOffset = pos + static_cast<int64_t>(total) + extUsed;
    e.DataSize = static_cast<int64_t>(packed) - extUsed;
  } else if (e.Level == 2) {
    const size_t total = Get16(b);
    if (total < kBaseSize + 4 || pos + static_cast<int64_t>(total) > size) return lrBad;
    uint8_t c[5];  // CRC-16, OS id, size of the first extended header
    if (!ReadAt(in, pos + 21, c, 5)) return lrBad;
    e.Crc = Get16(c);
    const int64_t extUsed = WalkExtended(in, pos + 26, Get16(c + 3), pos + static_cast<int64_t>(total), e, dir);
    if (extUsed < 0) return lrBad;
    // Level 2 keeps a Unix time in the base header.
    e.UnixTime = Get32(b + 15);
    e.DosDate = plat::UnixToDosDateTime(e.UnixTime);
    e.DataOffset = pos + static_cast<int64_t>(total);
    e.DataSize = packed;
  } else {
    return lrBad;
  }
  e.Next = e.DataOffset + e.DataSize;
  if (e.DataSize < 0 || e.Next > size || e.Next <= pos) return lrBad;

  e.Name = Slashes(e.Name);
  if (!dir.empty()) {
    dir = Slashes(dir);
    if (dir.back() != '/') dir += '/';
    e.Name = dir + e.Name;
  }
  while (!e.Name.empty() && e.Name[0] == '/' && e.Name.size() > 1) e.Name.erase(0, 1);
  if (e.IsFolder() && !e.Name.empty() && e.Name.back() != '/') e.Name += '/';
  return lrEntry;
}

int64_t FindLhaEntry(TStream32& in, int64_t from, int64_t size) {
  constexpr int64_t kChunk = 65536;
  std::vector<uint8_t> buf(kChunk + 4);
  for (int64_t at = std::max<int64_t>(from, 0); at + 7 <= size; at += kChunk) {
    const int64_t n = std::min<int64_t>(kChunk + 4, size - at);
    if (!ReadAt(in, at, buf.data(), n)) return -1;
    for (int64_t i = 0; i + 5 <= n; ++i) {
      if (buf[i] != '-' || buf[i + 1] != 'l' || buf[i + 4] != '-' || at + i < from + 2) continue;
      TLhaEntry e;
      if (ReadLhaEntry(in, at + i - 2, size, e) == lrEntry) return at + i - 2;
    }
  }
  return -1;
}

std::string LhaDisplayName(const std::string& stored) {
  return plat::IsValidUtf8(stored) ? stored : plat::OemToAnsi(stored);
}

std::string LhaLevel0Header(const TLhaEntry& e) {
  std::string name = e.Name;
  for (char& c : name)
    if (c == '/') c = '\\';
  const size_t n = name.size();
  if (LhaPlainHeaderSize(n) - 2 > 255 || e.DataSize < 0 || e.DataSize > 0xFFFFFFFFll) return std::string();
  const bool unix = e.HasMode && LhaPlainHeaderSize(n) - 2 + kUnixExtSize <= 255;
  const size_t total = LhaPlainHeaderSize(n) + (unix ? kUnixExtSize : 0);
  std::string h(total, '\0');
  auto* p = reinterpret_cast<uint8_t*>(h.data());
  p[0] = static_cast<uint8_t>(total - 2);
  std::memcpy(p + 2, e.Method, 5);
  Put32(p + 7, static_cast<uint32_t>(e.DataSize));
  Put32(p + 11, e.Original);
  Put32(p + 15, e.DosDate);
  p[19] = e.Attr;
  p[20] = 0;
  p[21] = static_cast<uint8_t>(n);
  std::memcpy(p + kBaseSize, name.data(), n);
  Put16(p + kBaseSize + n, e.Crc);
  if (unix) {
    uint8_t* u = p + kBaseSize + n + 2;
    u[0] = 'U';
    u[1] = 0;
    const int64_t t = e.UnixTime >= 0 ? e.UnixTime : plat::DosDateTimeToUnix(e.DosDate);
    Put32(u + 2, static_cast<uint32_t>(std::max<int64_t>(t, 0)));
    Put16(u + 6, e.Mode);
    Put16(u + 8, e.Uid);
    Put16(u + 10, e.Gid);
  }
  unsigned sum = 0;
  for (size_t i = 2; i < total; ++i) sum += p[i];
  p[1] = static_cast<uint8_t>(sum);
  return h;
}

}  // namespace zid
