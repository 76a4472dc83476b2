#include "engine/zip/zidZipNames.h"

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/base/zidNames.h"
#include "platform/codepage.h"

namespace zid {

namespace {

// The UTF-8 name of an Info-ZIP Unicode path field, when it belongs to raw.
bool UnicodePathField(std::string_view raw, std::string_view extra, std::string& out) {
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    uint16_t id = Get16(p + pos);
    size_t len = Get16(p + pos + 2);
    if (pos + 4 + len > extra.size()) return false;
    if (id == kExtraUnicodePath && len >= 5 && p[pos + 4] == 1) {
      uint32_t crc = Get32(p + pos + 5);
      if (crc != Crc32Of(raw.data(), static_cast<int64_t>(raw.size()))) return false;
      std::string_view name(extra.data() + pos + 9, len - 5);
      if (!plat::IsValidUtf8(name)) return false;
      out.assign(name);
      return true;
    }
    pos += 4 + len;
  }
  return false;
}

}  // namespace

std::string ZipEntryName(std::string_view raw, uint16_t flags, uint16_t versionMadeBy, std::string_view extra,
                         bool translateOem) {
  std::string unicode;
  if (!(flags & kFlagUtf8) && UnicodePathField(raw, extra, unicode)) return unicode;
  TNameOrigin origin;
  origin.utf8 = (flags & kFlagUtf8) != 0;
  origin.unixHost = (versionMadeBy >> 8) == 3;
  origin.translateOem = translateOem;
  return DecodeEntryName(raw, origin);
}

}  // namespace zid
