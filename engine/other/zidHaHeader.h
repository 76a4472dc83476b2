// HA 0.98 archive and entry headers, as the directory reader and the
// extractor read them.
//
// An HA archive is "HA", a 16-bit entry count and the entries. An entry
// header is a type byte (method in the low four bits, version in the high
// four), packed size, original size, CRC-32 and a Unix time stamp (4 bytes
// each), then two NUL-terminated strings, the folder path (folders separated
// by 0xFF) and the name, then a length byte and that many bytes of
// host-specific information (two on DOS: the host id and the attribute
// byte), then the packed data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zid {

constexpr int64_t kHaFirstEntry = 4;
constexpr int kHaFixedSize = 17;  // the type byte and the four 32-bit fields
constexpr int kHaMethodCopy = 0, kHaMethodAsc = 1, kHaMethodHsc = 2, kHaMethodDir = 14, kHaMethodSpecial = 15;

struct THaEntry {
  int method = 0;
  int version = 0;
  uint32_t packedSize = 0;
  uint32_t originalSize = 0;
  uint32_t crc = 0;
  uint32_t time = 0;  // Unix time
  std::string path;   // "/" separated, with a trailing "/" when not empty
  std::string name;
  int64_t dataOffset = 0;
};

enum class THaRead { Ok, Bad };

// Reads n bytes at pos; returns the count read (short at the end of the file).
using THaReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Reads the entry header at pos (its type byte). Bad: an unknown method (the
// only thing of the header that can be checked), or a string or the host
// information running past the end of the file.
THaRead ReadHaEntry(const THaReadAt& read, int64_t pos, THaEntry& e);

// The entry's path and name as shown: valid UTF-8 as it is, else in the name
// page; a "\\" is taken for a separator only in the decoded name.
std::string HaEntryName(const THaEntry& e, bool translateOem);

}  // namespace zid
