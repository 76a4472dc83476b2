// ACE block headers: the generic block frame, the main header, the file
// header, the search for the main header behind a self-extractor stub, and
// the names of the volumes of a set.
//
// All fields are little-endian. A block is HEAD_CRC (u16), HEAD_SIZE (u16)
// and HEAD_SIZE bytes that start with HEAD_TYPE (u8) and HEAD_FLAGS (u16);
// the low half of the ACE CRC-32 of those HEAD_SIZE bytes is HEAD_CRC.
// Blocks with flag ADDSIZE carry a body after the header, whose length is the
// first field after the flags (u32, or u64 for the 64-bit types).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ace/ace_base.h"

namespace ace {

enum : uint8_t {
  kTypeMain = 0,
  kTypeFile = 1,        // 32-bit sizes
  kTypeRecovery = 2,    // 32-bit
  kTypeFile64 = 3,      // 64-bit sizes
  kTypeRecovery64 = 4,  // 64-bit, two layouts (4 and 5)
  kTypeRecovery64B = 5,
};

// Flags of every block.
constexpr uint16_t kFlagAddSize = 0x0001;
constexpr uint16_t kFlagComment = 0x0002;
constexpr uint16_t kFlag64Bit = 0x0004;
// Main header flags.
constexpr uint16_t kMainSfx = 0x0200;
constexpr uint16_t kMainSmallDict = 0x0400;
constexpr uint16_t kMainMultiVolume = 0x0800;
constexpr uint16_t kMainAv = 0x1000;
constexpr uint16_t kMainRecovery = 0x2000;
constexpr uint16_t kMainLocked = 0x4000;
constexpr uint16_t kMainSolid = 0x8000;
// File header flags.
constexpr uint16_t kFileSecurity = 0x0400;
constexpr uint16_t kFileFromPrev = 0x1000;  // continues a member begun in the previous volume
constexpr uint16_t kFileToNext = 0x2000;    // continues in the next volume
constexpr uint16_t kFileEncrypted = 0x4000;
constexpr uint16_t kFileSolid = 0x8000;
constexpr uint32_t kAttrDirectory = 0x10;

// Compression types of the file header.
enum : uint8_t { kCompStored = 0, kCompLz77 = 1, kCompBlocked = 2 };

// Bytes of the main header up to the AV string (CRC and size included), and
// of the 32-bit file header up to its name.
constexpr size_t kMainFixedSize = 30;
constexpr size_t kFileFixedSize = 35;
constexpr size_t kFile64FixedSize = 43;

struct TMainHeader {
  uint16_t flags = 0;
  uint8_t verExtract = 0;
  uint8_t verCreated = 0;
  uint8_t host = 0;
  uint8_t volume = 0;   // 0-based number of this volume
  uint32_t time = 0;    // DOS date-time
  std::string av;       // the authenticity text, when flagged
  std::string comment;  // the packed comment, when flagged
  bool Solid() const { return (flags & kMainSolid) != 0; }
  bool MultiVolume() const { return (flags & kMainMultiVolume) != 0; }
};

struct TFileHeader {
  uint8_t type = kTypeFile;
  uint16_t flags = 0;
  uint64_t packSize = 0;  // packed bytes after this header, in this volume
  uint64_t origSize = 0;  // of the whole member
  uint32_t time = 0;      // DOS date-time
  uint32_t attr = 0;
  uint32_t crc = 0;       // of the whole member only in its last segment
  uint8_t compType = 0;
  uint8_t compQual = 0;
  uint16_t params = 0;
  std::string name;       // raw bytes, up to a NUL if one occurs
  std::string comment;    // packed
  bool IsDir() const { return (attr & kAttrDirectory) != 0; }
  bool Encrypted() const { return (flags & kFileEncrypted) != 0; }
  bool FromPrev() const { return (flags & kFileFromPrev) != 0; }
  bool ToNext() const { return (flags & kFileToNext) != 0; }
  // log2 of the dictionary size, capped at 22 (the largest distance the alphabet can express).
  unsigned DictBits() const;
};

// Field parsers over a whole header (h points at HEAD_CRC, n = 4 + HEAD_SIZE).
// False when the header is shorter than its fixed part, when a length runs past
// its end, or when the 64-bit flag does not match the type.
bool ParseMainHeader(const uint8_t* h, size_t n, TMainHeader& m);
bool ParseFileHeader(const uint8_t* h, size_t n, TFileHeader& f);
// The length of the body after any block (0 without ADDSIZE); false when the
// header is too short to hold it.
bool BlockBodyLength(const uint8_t* h, size_t n, uint64_t& len);
// Whether HEAD_CRC matches the header's bytes.
bool HeaderCrcOk(const uint8_t* h, size_t n);

// A file opened for reading, closed with the object.
class TFile {
 public:
  TFile() = default;
  ~TFile();
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ >= 0; }
  int64_t Size() const { return size_; }
  // Reads up to n bytes at pos; the count read (short at the end), -1 on error.
  int64_t ReadAt(int64_t pos, void* buf, size_t n);

 private:
  int handle_ = -1;
  int64_t size_ = 0;
};

// Reads the block header at pos into bytes (4 + HEAD_SIZE of them).
// Truncated: the header runs past the end of the file; BadHeader: HEAD_SIZE
// too small to hold a type and flags, or the CRC does not match; ReadError.
TResult ReadBlock(TFile& f, int64_t pos, std::vector<uint8_t>& bytes);

// Finds the main header: at offset 0, or else the first "**ACE**" within the
// first `limit` bytes whose header passes its CRC. False when there is none.
bool LocateMainHeader(TFile& f, int64_t limit, int64_t& pos, TMainHeader& m, std::vector<uint8_t>& bytes);

// The file name of volume `index` (0-based, as the main header counts) of the
// set whose first volume is `first`: NAME.ace, NAME.c00, NAME.c01 ... (then
// NAME.c100 and up). The letter's case follows the first volume's extension.
std::string VolumePath(const std::string& first, int index);
// The path itself when it exists, else the same path with the case of its
// extension's letters flipped when that one exists (sets copied from systems
// without case in names keep .C00 next to .ace), else the path unchanged.
std::string ExistingVolumeCase(const std::string& path);

}  // namespace ace
