// The name of a ZIP entry, from its header bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zid {

constexpr uint16_t kExtraUnicodePath = 0x7075;
constexpr uint16_t kFlagUtf8 = 0x0800;  // general purpose bit 11

// The entry name as UTF-8: flag bit 11 marks UTF-8; an Info-ZIP Unicode path
// field (0x7075) whose CRC matches the stored name wins over the stored name;
// a name from a Unix host (version made by, high byte 3) that is valid UTF-8
// is taken as it is; otherwise CP437 when translateOem is set.
// extra may be empty (local headers of some writers, or none stored).
std::string ZipEntryName(std::string_view raw, uint16_t flags, uint16_t versionMadeBy, std::string_view extra,
                         bool translateOem);

}  // namespace zid
