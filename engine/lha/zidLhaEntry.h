// The level-0 headers the LHA writer writes (reading goes through the shared
// header reader, zidLhaHeader.h).
//
// Each header carries the Unix extension of level 0 ("U": Unix time, mode,
// owner) when the name leaves room for it; lhasa applies the mode and time
// when extracting, where a header without it gives files mode 0600.
//
// Folder separators: names are written with "\" (the DOS form of level 0);
// lhasa, jlha and 7-Zip all split names on it (and on "/" as well).
#pragma once

#include <cstdint>
#include <string>

#include "engine/lha/zidLhaHeader.h"

namespace zid {

struct TLhaEntry {
  char Method[5] = {'-', 'l', 'h', '0', '-'};
  int64_t DataSize = 0;    // packed bytes
  uint32_t Original = 0;
  uint32_t DosDate = 0;    // DOS date-time
  uint8_t Attr = 0x20;     // DOS attribute bits
  uint16_t Crc = 0;
  std::string Name;        // UTF-8, "/" between folders; folders end with "/"
  // The Unix extension, written when HasMode is set.
  bool HasMode = false;
  uint16_t Mode = 0;
  int64_t UnixTime = -1;   // -1: taken from DosDate

  bool IsFolder() const { return Method[3] == 'd'; }
};

// The entry a header read from an archive describes (its level-2 and level-3
// Unix time as a DOS date-time).
TLhaEntry LhaEntryOf(const TLhaHeader& h);

// The level-0 header of an entry. Empty when the name is too long for a
// level-0 header (more than 233 bytes) or a size does not fit 32 bits.
std::string LhaLevel0Header(const TLhaEntry& e);

// Size of a level-0 header with an n-byte name and no extension.
constexpr size_t LhaPlainHeaderSize(size_t n) { return n + 24; }

// Whether the header at offset has a good checksum (levels 0 and 1; later
// levels have none to check here).
bool LhaChecksumOk(const TLhaReadAt& read, const TLhaHeader& h);

}  // namespace zid
