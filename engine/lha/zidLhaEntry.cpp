#include "engine/lha/zidLhaEntry.h"

#include <algorithm>
#include <cstring>

#include "engine/base/zidBytes.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr size_t kBaseSize = 22;
// The Unix extension of a level-0 header: "U", version 0, time, mode, uid, gid.
constexpr size_t kUnixExtSize = 12;

}  // namespace

TLhaEntry LhaEntryOf(const TLhaHeader& h) {
  TLhaEntry e;
  std::memcpy(e.Method, h.method, 5);
  e.DataSize = h.packedSize;
  e.Original = static_cast<uint32_t>(h.originalSize);
  e.DosDate = h.level < 2 || h.unixTime < 0 ? h.dosTime : plat::UnixToDosDateTime(h.unixTime);
  e.Attr = h.attr;
  e.Crc = h.crc;
  e.Name = h.name;
  if (h.isDir && !e.Name.empty() && e.Name.back() != '/') e.Name += '/';
  e.HasMode = h.unixMode != 0;
  e.Mode = static_cast<uint16_t>(h.unixMode);
  e.UnixTime = h.unixTime;
  return e;
}

bool LhaChecksumOk(const TLhaReadAt& read, const TLhaHeader& h) {
  if (h.level > 1) return true;
  uint8_t head[2 + 255];
  if (read(h.offset, head, 2) != 2) return false;
  const int64_t n = head[0];
  if (read(h.offset + 2, head + 2, n) != n) return false;
  unsigned sum = 0;
  for (int64_t i = 0; i < n; ++i) sum += head[2 + i];
  return (sum & 0xFF) == head[1];
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
    Put32(u + 2, static_cast<uint32_t>(std::clamp<int64_t>(t, 0, 0xFFFFFFFFll)));
    Put16(u + 6, e.Mode);
    // Owner 0: the extracting user's own files (a root extraction leaves them to root).
    Put16(u + 8, 0);
    Put16(u + 10, 0);
  }
  unsigned sum = 0;
  for (size_t i = 2; i < total; ++i) sum += p[i];
  p[1] = static_cast<uint8_t>(sum);
  return h;
}

}  // namespace zid
