// RAR blocks (the format of RAR 1.5 to 4.x) as the extractor and the
// directory reader read them.
//
// An archive is the 7-byte marker "Rar!" 1A 07 00, the main header and a
// chain of blocks. Every block starts with its header CRC (the low 16 bits
// of the CRC-32 of the header after this field), type (1), flags (2) and
// header size (2); flag 0x8000 adds a 32-bit data size after them. File
// blocks (type 0x74) hold the packed and original sizes, host, CRC-32, DOS
// time, versions, method, name size and attributes, optionally the high
// halves of both sizes, then the name. RAR 5 changed the last marker byte to
// 01 and everything after it (zidRar5Header.h).
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <functional>
#include <string>

namespace zid {

constexpr uint8_t kRarTypeMain = 0x73, kRarTypeFile = 0x74, kRarTypeOldComment = 0x75, kRarTypeService = 0x7A,
                  kRarTypeEnd = 0x7B;
// block flags
constexpr uint16_t kRarLongBlock = 0x8000, kRarSkipIfUnknown = 0x4000;
// file block flags
constexpr uint16_t kRarSplitBefore = 0x0001, kRarSplitAfter = 0x0002, kRarEncrypted = 0x0004, kRarSolid = 0x0010,
                   kRarFolderDict = 0x00E0, kRarLargeSizes = 0x0100, kRarUnicodeName = 0x0200, kRarSalt = 0x0400;
// main header flags
constexpr uint16_t kRarMainVolume = 0x0001, kRarMainSolid = 0x0008, kRarMainNewNumbering = 0x0010,
                   kRarMainHeadersEncrypted = 0x0080;
// end block flag: another volume follows
constexpr uint16_t kRarEndNextVolume = 0x0001;
constexpr uint8_t kRarHostUnix = 3;
constexpr uint8_t kRarMethodStored = 0x30;

struct TRarBlock {
  int64_t offset = 0;  // of the header CRC
  uint16_t headCrc = 0;
  uint8_t type = 0;
  uint16_t flags = 0;
  uint16_t headSize = 0;
  uint64_t dataSize = 0;  // packed size of file blocks; 0 without kRarLongBlock
  bool crcOk = false;     // the header CRC matches
  // file (and service) blocks
  uint64_t unpacked = 0;
  uint8_t host = 0;
  uint32_t crc = 0;
  uint32_t dosDate = 0;
  uint8_t unpVer = 0;  // 15, 20, 26, 29, 36
  uint8_t method = 0;  // 0x30 stored .. 0x35 best
  uint32_t attr = 0;   // as stored (DOS attributes, or a Unix mode from Unix hosts)
  std::string nameField;

  int64_t DataOffset() const { return offset + headSize; }
  // The next block, saturated at INT64_MAX for absurd sizes.
  int64_t NextOffset() const;
  bool IsFile() const { return type == kRarTypeFile; }
  bool IsFolder() const { return (flags & kRarFolderDict) == kRarFolderDict || (DosAttributes() & 0x10); }
  // DOS attributes; a Unix host's mode becomes folder (0x10) or archive (0x20).
  uint32_t DosAttributes() const;
};

enum class TRarRead { Ok, End, Bad };

// Reads n bytes at pos; returns the count read (short at the end of the file).
using TRarReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Reads the block at pos. End: the file ends at pos. Bad: a header cut
// short, an impossible header size; *why says which.
// A header CRC that does not match is Ok with crcOk false: the caller decides.
TRarRead ReadRarBlock(const TRarReadAt& read, int64_t pos, TRarBlock& b, std::string* why = nullptr);

// The marker and main header at pos. 0 and the first block's offset and the
// main flags, or the error code that says what is there: 25114 no RAR
// archive, 25328 a RAR 5 archive (rar5 set: the marker is RAR 5's and
// firstBlock is just after it), 25290 encrypted headers, 25117 read error.
int ReadRarVolumeHead(const TRarReadAt& read, int64_t pos, int64_t& firstBlock, uint16_t& mainFlags,
                      bool* rar5 = nullptr);

// The entry's name in UTF-8 with "/" between folders: the stored Unicode
// form when there is one, else the single-byte form, which later writers
// store in UTF-8 and older ones in the host's code page (CP437 with
// translateOem).
std::string RarEntryName(const TRarBlock& b, bool translateOem);

// The volume after `name`: x.rar, x.r00 ... x.r99, x.s00 (the letter's case
// kept); with new numbering x.part1.rar, x.part2.rar ... (the number's width
// kept, growing when it must). Empty when the name cannot be numbered.
std::string RarNextVolumeName(const std::string& name, bool newNumbering);

// The deep scan's test: the marker followed by a main header (or RAR 5's marker).
extern const TProbe kRarProbe;

}  // namespace zid
