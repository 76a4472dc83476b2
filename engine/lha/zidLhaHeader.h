// LHA/LZH entry headers as the extractor and the directory reader read them:
// levels 0, 1, 2 and 3 with their extended headers.
//
// Every header starts with 21 fixed bytes: size (level 0/1: one byte, the
// header bytes after the first two; level 2: a 16-bit total; level 3: the
// word size 4), checksum, method "-xxx-", packed and original size, time
// stamp (DOS date-time, Unix time from level 2 on), attribute byte, level.
// Level 0/1 go on with the name length, name and CRC-16 (level 1: OS id and
// the first extended header size); level 2/3 with the CRC-16, OS id and
// first extended header size. Extended headers: type, data, size of the next
// one (sizes count the type, the data and the size field). A level-1
// header's extended headers follow its base header and are counted in the
// packed size; level 2/3 count them in the header size.
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <functional>
#include <string>

namespace zid {

struct TLhaHeader {
  int64_t offset = 0;      // where the header starts
  int64_t dataOffset = 0;  // where the entry's data starts
  int64_t nextOffset = 0;  // where the next header starts
  int64_t packedSize = 0;  // bytes of data
  int64_t originalSize = 0;
  char method[5] = {};     // as stored, e.g. "-lh5-"
  uint8_t level = 0;
  uint8_t attr = 0x20;     // DOS attributes
  uint8_t osId = 0;        // 0 when the header has none
  uint32_t dosTime = 0;    // the level 0/1 time stamp
  int64_t unixTime = -1;   // level 2/3, or a Unix or Windows time extension
  uint16_t crc = 0;        // CRC-16 of the original data
  uint32_t unixMode = 0;   // from a Unix permission extension; 0 when none
  bool isDir = false;      // -lhd-
  bool isSymlink = false;  // a -lhd- entry stored as "name|target"
  std::string linkTarget;  // that target, decoded like the name
  std::string rawName;     // folder then name as stored; 0xFF turned into "/"
  std::string name;        // rawName decoded (valid UTF-8 as it is, else in the name page), "\" as "/"

  // The method's fourth character ('0'..'7', 'd', 's', ...), or 0 when the
  // id is not of the form "-xxx-".
  char MethodChar() const { return method[0] == '-' && method[4] == '-' ? method[3] : 0; }
  std::string MethodId() const { return std::string(method, 5); }
};

enum TLhaParse {
  lhOk,
  lhEnd,        // the end marker (a 0 byte) or the end of the file
  lhBad,        // a malformed header: 25114 "Bad file header"
  lhTruncated,  // the file ends inside the header
};

// Reads up to n bytes at pos; returns how many it read.
using TLhaReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Where the first header lies for an archive detected at `start`: a leading
// 0 byte means a 128-byte prefix (some writers put a comment block there).
// For a self-extractor the header found there must also look real (a good
// header checksum, a known method); if not (the detector may have met a
// method name inside the extractor's code), the first real header in the
// next 4 MiB is taken.
int64_t LhaFirstHeader(const TLhaReadAt& read, int64_t start, bool selfExtractor = false);

// Parses the header at `offset`. translateOem: names that are not valid
// UTF-8 are read as CP437 (otherwise their bytes are kept).
TLhaParse ReadLhaHeader(const TLhaReadAt& read, int64_t offset, TLhaHeader& h, bool translateOem = true);

// The deep scan's test: a header that parses, names an LZH method and, below
// level 2, has a good header checksum.
extern const TProbe kLhaProbe;

}  // namespace zid
