// The BH entry header, shared by the writer, the extractor and the listing.
//
// A BH archive is a plain run of entries, each a 37-byte fixed header, the
// name, an extra field, then the data (for an encrypted entry the 12-byte
// encryption header first, counted in the packed size). There is no central
// directory: the archive ends at the end of the file or at a block that does
// not start with the signature or whose header length is 0.
//
//   0  4  signature "BH" 05 07        19  4  original size
//   4  2  header length (37 + name + extra)   23  4  CRC-32 of the original data
//   6  1  fixed-part length (37)      27  2  DOS attributes (0x10 folder)
//   7  1  made-by version             29  4  reserved
//   8  1  needed version              33  2  name length
//   9  1  flags (bit 0 encrypted; bits 1-2 the Deflate level as in ZIP)
//  10  1  method: 0 stored, 1 Fused1, 2 or 8 Deflate, 3 Fused3
//  11  4  DOS date-time               35  2  extra-field length
//  15  4  packed size
#pragma once

#include <cstdint>
#include <string>

namespace zid {

constexpr int kBhHeaderSize = 37;
constexpr uint32_t kBhSignature = 0x07054842;
constexpr uint8_t kBhMadeBy = 6;
constexpr uint8_t kBhNeeded = 8;
constexpr uint8_t kBhFlagEncrypted = 1;
constexpr uint32_t kBhFolderAttr = 0x10;
// Names this long or longer are not taken by the extractor.
constexpr size_t kBhMaxName = 255;

enum TBhMethod : uint8_t { bmStored = 0, bmFused1 = 1, bmDeflate2 = 2, bmFused3 = 3, bmDeflate = 8 };

struct TBhHeader {
  uint16_t headerLength = 0;
  uint8_t fixedLength = kBhHeaderSize;
  uint8_t madeBy = kBhMadeBy;
  uint8_t needed = kBhNeeded;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint32_t dosDate = 0;
  uint32_t packed = 0;
  uint32_t original = 0;
  uint32_t crc = 0;
  uint16_t attr = 0;
  uint32_t reserved = 0;
  uint16_t nameLength = 0;
  uint16_t extraLength = 0;

  bool Encrypted() const { return (flags & kBhFlagEncrypted) != 0; }
  bool IsFolder() const { return (attr & kBhFolderAttr) != 0; }
  // Method 2 is read as Deflate (8).
  uint8_t EffectiveMethod() const { return method == bmDeflate2 ? uint8_t{bmDeflate} : method; }
  // The offset of the entry's data (of its encryption header when encrypted)
  // and of the next header, for a header at `offset`.
  int64_t DataOffset(int64_t offset) const { return offset + kBhHeaderSize + nameLength + extraLength; }
  int64_t NextOffset(int64_t offset) const { return DataOffset(offset) + packed; }
  // The packed size without the encryption header, as listings show it.
  int64_t ShownPackedSize() const;
};

// Parses 37 bytes. False when the block does not start an entry: no
// signature, or a header length of 0 (the end of the archive).
bool ParseBhHeader(const uint8_t* p, TBhHeader& h);
void WriteBhHeader(const TBhHeader& h, uint8_t* p);

// A stored name as this system shows it: valid UTF-8 as it is, otherwise
// CP437 when translateOem is set; "\" between folders becomes "/".
std::string BhDisplayName(const std::string& stored, bool translateOem);
// The bytes stored for a name: its UTF-8 bytes with "\" between folders.
std::string BhStoredName(const std::string& name);

}  // namespace zid
