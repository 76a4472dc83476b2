#include "engine/zip/zidZipNames.h"

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/base/zidNames.h"
#include "engine/zip/zidZipRecords.h"
#include "platform/codepage.h"

namespace zid {

namespace {

// The UTF-8 name of an Info-ZIP Unicode path field, when it belongs to raw.
bool UnicodePathField(std::string_view raw, std::string_view extra, std::string& out) {
  for (TExtraFields f(extra.data(), extra.size()); f.Next();) {
    if (f.Id() != kExtraUnicodePath || f.Size() < 5 || f.Data()[0] != 1) continue;
    if (Get32(f.Data() + 1) != Crc32Of(raw.data(), static_cast<int64_t>(raw.size()))) return false;
    std::string_view name(reinterpret_cast<const char*>(f.Data()) + 5, f.Size() - 5);
    if (!plat::IsValidUtf8(name)) return false;
    out.assign(name);
    return true;
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
