// ARJ headers as the extractor and the directory reader read them.
//
// Every header starts with the id 60 EA and the size of its basic header
// (0 marks the end of the archive). The basic header holds a fixed part of
// `first header size` bytes, then the NUL-terminated name and comment; its
// CRC-32 follows, then any number of extended headers (a 2-byte size, the
// bytes and their CRC-32) ended by a size of 0. The first header of every
// volume is the main (archive) header; the entry's data follow the headers.
#pragma once

#include "engine/base/zidFormats.h"
#include <cstdint>
#include <functional>
#include <string>
#include "engine/base/zidMethods.h"
#include "engine/base/zidResync.h"

namespace zid {

// flags
constexpr uint8_t kArjGarbled = 0x01;
constexpr uint8_t kArjVolume = 0x04;   // continued in the next volume (main header: a next volume exists)
constexpr uint8_t kArjExtFile = 0x08;  // continues an entry of the previous volume
// file types
constexpr uint8_t kArjBinary = 0;
constexpr uint8_t kArjText = 1;
constexpr uint8_t kArjMainHeader = 2;
constexpr uint8_t kArjFolder = 3;
constexpr uint8_t kArjLabel = 4;
constexpr uint8_t kArjChapter = 5;
// host systems whose file-access field holds a Unix mode
constexpr uint8_t kArjHostUnix = 2;
constexpr uint8_t kArjHostNext = 8;

constexpr int kArjMaxBasicHeader = 2600;
constexpr int kArjFixedPart = 30;

struct TArjHeader {
  int64_t offset = 0;  // of the id
  uint16_t basicSize = 0;
  uint8_t firstSize = 0;
  uint8_t version = 0;
  uint8_t minVersion = 0;
  uint8_t hostOs = 0;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t fileType = 0;
  uint8_t modifier = 0;  // added to every password character of a garbled entry
  uint32_t dosDate = 0;
  uint32_t packedSize = 0;
  uint32_t originalSize = 0;
  uint32_t crc = 0;
  uint16_t accessMode = 0;
  uint8_t encryptionVersion = 0;  // main header only
  std::string rawName;
  std::string rawComment;  // the main header's is the archive comment
  int64_t dataOffset = 0;  // first byte after the header and its extended headers

  bool UnixHost() const { return hostOs == kArjHostUnix || hostOs == kArjHostNext; }
  int64_t NextOffset() const { return dataOffset + packedSize; }
};

enum class TArjRead { Ok, End, Bad };

// Reads n bytes at pos; returns the count read (short at the end of the file).
using TArjReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Reads the header at pos. End: the end marker (basic header size 0). Bad: a
// wrong id, an impossible size, a header cut short by the end of the file or
// a header CRC that does not match; *why says which.
TArjRead ReadArjHeader(const TArjReadAt& read, int64_t pos, TArjHeader& h, std::string* why = nullptr);

// The stored name as this system shows it: valid UTF-8 stays, else CP437 when translateOem.
std::string ArjEntryName(const TArjHeader& h, bool translateOem);

// Volume n of a set (1 = .a01): the archive's name with its extension
// replaced by "." letter and two digits, or by the number itself from 100 on.
std::string ArjVolumeName(const std::string& archive, int n, char letter);

// ARJ's methods: 0 stored, 1-3 the LZH coder (a 26624-byte window), 4 the
// fast coder. Garbled entries are deciphered in the decode job's source.
const TMethodTable& ArjMethods();

// The deep scan's test: a main header whose CRC matches.
extern const TProbe kArjProbe;

// Where a walk takes up again after a damaged header: a local header whose CRC matches.
TResyncProbe ArjResyncProbe(const TArjReadAt& read);

}  // namespace zid
