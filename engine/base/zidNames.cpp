#include "engine/base/zidNames.h"

#include "platform/codepage.h"

namespace zid {

std::string DecodeEntryName(std::string_view raw, const TNameOrigin& origin) {
  if (plat::IsAscii(raw)) return std::string(raw);
  if (origin.utf8 && plat::IsValidUtf8(raw)) return std::string(raw);
  if (origin.unixHost && plat::IsValidUtf8(raw)) return std::string(raw);
  if (origin.translateOem) return plat::OemToAnsi(raw);
  return std::string(raw);
}

}  // namespace zid
