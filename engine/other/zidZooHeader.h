// ZOO archive and directory entry headers, as the extractor and the
// directory reader read them.
//
// The archive header (at offset 0) gives the position of the first directory
// entry and its negation. The entries form a chain: each one names the
// position of the next and of its data; the chain ends with an entry whose
// next pointer is 0. Entries of type 2 carry a variable part after the fixed
// 56 bytes with the long name, the folder, the host and the file attributes.
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <functional>
#include <string>
#include "engine/base/zidMethods.h"
#include "engine/base/zidResync.h"

namespace zid {

constexpr int kZooArchiveHeaderSize = 42;
constexpr int kZooEntrySize = 58;  // what a walk step reads: the fixed part and the first variable bytes
constexpr int kZooMinEntry = 10;  // tag, type, method and next pointer: enough for the end marker
constexpr uint32_t kZooTag = 0xFDC4A7DCu;

struct TZooEntry {
  int64_t offset = 0;  // of the directory entry
  uint8_t type = 0;
  uint8_t method = 0;  // 0 stored, 1 LZW, 2 LZH
  uint32_t next = 0;   // the next directory entry; 0 ends the chain
  uint32_t dataOffset = 0;
  uint32_t dosDate = 0;  // date in the high word, time in the low word
  uint16_t crc = 0;      // CRC-16 of the original data
  uint32_t originalSize = 0;
  uint32_t packedSize = 0;
  uint8_t majorVersion = 0;
  uint8_t minorVersion = 0;
  bool deleted = false;
  uint32_t commentPos = 0;
  uint16_t commentSize = 0;
  std::string shortName;
  std::string longName;  // empty when the entry has none
  std::string folder;    // as stored ("/" separated), empty when none
  uint32_t unixMode = 0; // permission bits when the entry carries valid Unix attributes
  bool cut = false;      // ReadZooEntry: an end marker shorter than its fixed part (the file was cut)
};

// The words of the warning for a chain whose end marker is cut.
inline constexpr const char* kZooEndCut = "the archive ends inside its end entry: it may have been cut short";

enum class TZooRead { Ok, Bad };

// Reads n bytes at pos; returns the count read (short at the end of the file).
using TZooReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// The archive header: true when it is complete and its first-entry position
// and negation agree; *firstEntry gets the position.
bool ReadZooArchiveHeader(const TZooReadAt& read, uint32_t* firstEntry, uint32_t* commentPos = nullptr,
                          uint16_t* commentSize = nullptr);

// Parses a directory entry from the 58 bytes at its start (head), reading
// its variable part through read. Bad: a wrong tag.
TZooRead ParseZooEntry(const TZooReadAt& read, int64_t pos, const uint8_t* head, TZooEntry& e);
TZooRead ReadZooEntry(const TZooReadAt& read, int64_t pos, TZooEntry& e);

// The name as stored, folder and all ("dir/name"): what a listing shows.
// forExtraction drops the folder's "." and ".." components, so "../x" is
// extracted as "x" below the target folder. Valid UTF-8 stays, else the
// name page is read.
std::string ZooEntryName(const TZooEntry& e, bool translateOem, bool forExtraction);

// ZOO's methods: 0 stored, 1 LZW, 2 the LZH coder.
const TMethodTable& ZooMethods();

// The deep scan's test: the archive header's tag, and its first-entry
// position agreeing with its negation.
extern const TProbe kZooProbe;

// Where a walk takes up again after a damaged directory entry: the next
// entry whose tag is there and whose pointers lie inside the file of `size` bytes.
TResyncProbe ZooResyncProbe(const TZooReadAt& read, int64_t size);

}  // namespace zid
