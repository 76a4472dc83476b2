#include "engine/other/zidHaHeader.h"

#include <cstring>

#include "engine/base/zidBytes.h"
#include "engine/base/zidNames.h"

namespace zid {

namespace {

constexpr size_t kMaxString = 4096;
constexpr uint8_t kSeparator = 0xFF;  // folder separator of stored paths

bool KnownMethod(int m) {
  return m == kHaMethodCopy || m == kHaMethodAsc || m == kHaMethodHsc || m == kHaMethodDir || m == kHaMethodSpecial;
}

// The NUL-terminated string at pos (at most kMaxString bytes before the NUL);
// the position after the NUL, or -1.
int64_t ReadString(const THaReadAt& read, int64_t pos, std::string& out) {
  out.clear();
  char buf[256];
  while (out.size() <= kMaxString) {
    const int64_t got = read(pos + static_cast<int64_t>(out.size()), buf, sizeof buf);
    if (got <= 0) return -1;
    const void* nul = std::memchr(buf, 0, static_cast<size_t>(got));
    if (nul != nullptr) {
      out.append(buf, static_cast<size_t>(static_cast<const char*>(nul) - buf));
      if (out.size() > kMaxString) return -1;
      return pos + static_cast<int64_t>(out.size()) + 1;
    }
    out.append(buf, static_cast<size_t>(got));
  }
  return -1;
}

}  // namespace

THaRead ReadHaEntry(const THaReadAt& read, int64_t pos, THaEntry& e) {
  uint8_t h[kHaFixedSize];
  if (read(pos, h, kHaFixedSize) != kHaFixedSize) return THaRead::Bad;
  e.method = h[0] & 0x0F;
  e.version = h[0] >> 4;
  if (!KnownMethod(e.method)) return THaRead::Bad;
  e.packedSize = Get32(h + 1);
  e.originalSize = Get32(h + 5);
  e.crc = Get32(h + 9);
  e.time = Get32(h + 13);
  const int64_t afterPath = ReadString(read, pos + kHaFixedSize, e.path);
  if (afterPath < 0) return THaRead::Bad;
  const int64_t afterName = ReadString(read, afterPath, e.name);
  if (afterName < 0) return THaRead::Bad;
  uint8_t infoLen = 0;
  if (read(afterName, &infoLen, 1) != 1) return THaRead::Bad;
  for (char& c : e.path)
    if (static_cast<uint8_t>(c) == kSeparator) c = '/';
  if (!e.path.empty() && e.path.back() != '/') e.path += '/';
  e.dataOffset = afterName + 1 + infoLen;
  return THaRead::Ok;
}

std::string HaEntryName(const THaEntry& e, bool translateOem) {
  TNameOrigin origin;
  origin.unixHost = true;  // valid UTF-8 stays
  origin.translateOem = translateOem;
  return DecodeEntryPath(e.path + e.name, origin);
}

}  // namespace zid
