// LHA entry headers as the LHA writer reads and writes them.
//
// Reading takes header levels 0, 1 and 2, with the extended headers the
// writer needs (file and folder names, DOS attributes, Unix mode and time),
// and the Unix extension of level 0 ("U": time, mode, owner). Writing always
// gives level 0 with that Unix extension when the name leaves room for it.
//
// Folder separators: level-0 and level-1 names are written with "\" (the DOS
// form); lhasa, jlha and 7-Zip all split names on it, and on "/" as well.
// Level-2 folder headers use 0xFF. Reading turns all of them into "/".
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidStreams.h"

namespace zid {

struct TLhaEntry {
  int64_t Offset = 0;      // where the header starts
  int64_t DataOffset = 0;  // where the packed data starts
  int64_t DataSize = 0;    // packed bytes (a level-1 header's extended headers not counted)
  int64_t Next = 0;        // where the next header starts
  char Method[5] = {'-', 'l', 'h', '0', '-'};
  uint32_t Original = 0;
  uint32_t DosDate = 0;    // DOS date-time (a level-2 Unix time converted)
  uint8_t Attr = 0x20;     // DOS attribute bits
  uint8_t Level = 0;
  uint16_t Crc = 0;
  std::string Name;        // name bytes as stored, "/" between folders; folders end with "/"
  // Unix details when the header carries them.
  bool HasMode = false;
  uint16_t Mode = 0;
  uint16_t Uid = 0;
  uint16_t Gid = 0;
  int64_t UnixTime = -1;   // -1: none

  char MethodChar() const { return Method[3]; }
  bool IsFolder() const { return Method[3] == 'd'; }
};

enum TLhaRead { lrEntry, lrEnd, lrBad };

// Reads the header at pos of an archive of `size` bytes. lrEnd at a zero
// byte or the end of the file; lrBad when the header is malformed or the
// entry runs past the end. Level-0 and level-1 checksums are verified.
TLhaRead ReadLhaEntry(TStream32& in, int64_t pos, int64_t size, TLhaEntry& e);

// The first offset from `from` on where a valid header starts (a self-extractor's
// stub may hold bytes that look like one); -1 when there is none.
int64_t FindLhaEntry(TStream32& in, int64_t from, int64_t size);

// The stored name as the user sees it: UTF-8 names stay, others are taken as CP437.
std::string LhaDisplayName(const std::string& stored);

// The level-0 header of an entry (its Method, DataSize, Original, DosDate,
// Attr, Name, Crc and Unix details). Empty when the name is too long for a
// level-0 header (more than 233 bytes) or a size does not fit 32 bits.
std::string LhaLevel0Header(const TLhaEntry& e);

// Byte offset of the method id within a header, and of the CRC in a level-0 header.
constexpr size_t kLhaMethodOffset = 2;
// Size of a level-0 header with an n-byte name and no extension.
constexpr size_t LhaPlainHeaderSize(size_t n) { return n + 24; }

}  // namespace zid
