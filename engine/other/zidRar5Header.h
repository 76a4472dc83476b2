// RAR 5 headers as the extractor and the directory reader read them.
//
// After the 8-byte marker "Rar!" 1A 07 01 00 every header is its CRC-32
// (4 bytes, over the rest of the header), its size, type and flags as
// variable-length numbers (7 bits a byte, low first, bit 7: more follow),
// the sizes of its extra and data areas when the flags say so, the fields
// of its type and the extra area. File headers hold the file flags, the
// unpacked size, attributes, an optional Unix time and CRC-32, the
// compression word (method in bits 7-9), the host and the UTF-8 name; the
// extra area may add an encryption record (type 1) and times (type 3).
#pragma once

#include <cstdint>
#include <string>

#include "engine/other/zidRarHeader.h"

namespace zid {

constexpr uint64_t kRar5TypeMain = 1, kRar5TypeFile = 2, kRar5TypeService = 3, kRar5TypeCrypt = 4,
                   kRar5TypeEnd = 5;
constexpr uint64_t kRar5EndNextVolume = 0x0001;

struct TRar5Block {
  int64_t offset = 0;
  uint64_t type = 0;
  uint64_t flags = 0;
  uint64_t headSize = 0;  // the whole header, CRC and size fields included
  uint64_t dataSize = 0;
  bool crcOk = false;
  uint64_t endFlags = 0;  // end of archive header
  // file and service headers
  uint64_t fileFlags = 0;
  uint64_t unpacked = 0;
  uint64_t attr = 0;
  int64_t mtime = -1;  // Unix time, -1 when none is stored
  uint32_t crc = 0;
  bool hasCrc = false;
  uint64_t compression = 0;
  uint64_t host = 0;  // 0 Windows, 1 Unix
  std::string name;   // UTF-8, "/" separated
  bool encrypted = false;

  int64_t DataOffset() const;
  int64_t NextOffset() const;
  bool SplitBefore() const { return (flags & 0x0008) != 0; }
  bool SplitAfter() const { return (flags & 0x0010) != 0; }
  bool IsFolder() const { return (fileFlags & 0x0001) != 0; }
  // 0 stored .. 5 best
  int Method() const { return static_cast<int>((compression >> 7) & 7); }
  // The algorithm's version: 0 for RAR 5.0.
  int AlgorithmVersion() const { return static_cast<int>(compression & 0x3F); }
  uint32_t DosAttributes() const;
};

// Reads the header at pos (just after the marker for the first one). End:
// the file ends at pos. Bad: a header cut short, a size that cannot be, or
// a header CRC that does not match (the sizes in it cannot be trusted).
TRarRead ReadRar5Block(const TRarReadAt& read, int64_t pos, TRar5Block& b, std::string* why = nullptr);

}  // namespace zid
