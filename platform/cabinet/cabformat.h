// The Microsoft cabinet format on disk: CFHEADER, CFFOLDER, CFFILE and CFDATA
// records, read field by field from bytes and written the same way, and the
// CFDATA checksum. The reader (fdi), the writer (fci) and the directory
// reader's walker share these; none of them casts a packed struct.
//
// Layout (little-endian):
//   CFHEADER  36 bytes: "MSCF", reserved, cbCabinet, reserved, coffFiles,
//             reserved, versionMinor, versionMajor, cFolders, cFiles, flags,
//             setID, iCabinet; then with flag 0x0004 cbCFHeader (2),
//             cbCFFolder (1), cbCFData (1) and cbCFHeader reserved bytes; then
//             with flag 0x0001 the previous cabinet and disk names, with flag
//             0x0002 the next cabinet and disk names (NUL-terminated, at most
//             255 bytes each).
//   CFFOLDER  8 bytes + cbCFFolder: coffCabStart, cCFData, typeCompress.
//   CFFILE    16 bytes + name: cbFile, uoffFolderStart, iFolder, date, time,
//             attribs, then the NUL-terminated name.
//   CFDATA    8 bytes + cbCFData + cbData: csum, cbData, cbUncomp, data.
//
// The file records are read right behind the folder records. coffFiles is
// not followed: the decoder reads them there too, and a cabinet whose
// coffFiles points elsewhere must not list names that extraction would not
// write (or the other way round).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plat::cab {

// Little-endian fields of the cabinet records.
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint32_t kSignature = 0x4643534D;  // "MSCF"
constexpr int kHeaderFixedSize = 36;
constexpr int kFolderFixedSize = 8;
constexpr int kFileFixedSize = 16;
constexpr int kDataFixedSize = 8;
constexpr uint8_t kVersionMajor = 1;
constexpr uint8_t kVersionMinor = 3;

// CFHEADER flags.
constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReservePresent = 0x0004;

// CFFILE iFolder values for files split over cabinets.
constexpr uint16_t kFolderContinuedFromPrev = 0xFFFD;
constexpr uint16_t kFolderContinuedToNext = 0xFFFE;
constexpr uint16_t kFolderContinuedPrevAndNext = 0xFFFF;

// CFFILE attributes.
constexpr uint16_t kAttrReadOnly = 0x01;
constexpr uint16_t kAttrHidden = 0x02;
constexpr uint16_t kAttrSystem = 0x04;
constexpr uint16_t kAttrArchive = 0x20;
constexpr uint16_t kAttrExecute = 0x40;
constexpr uint16_t kAttrNameIsUtf = 0x80;

// Limits of the format.
constexpr int kMaxNameLength = 255;           // bytes of a name, without its NUL
constexpr int kMaxBlockUncompressed = 32768;  // bytes a CFDATA block unpacks to
constexpr int kMaxBlockPacked = 32768 + 6144; // bytes a CFDATA block may hold
constexpr int kMaxHeaderReserve = 60000;
constexpr uint32_t kMaxFolderBlocks = 65535;
// The most a folder may unpack to: 65535 blocks of 32 KiB.
constexpr int64_t kMaxFolderSize = int64_t{kMaxFolderBlocks} * kMaxBlockUncompressed;

struct CabHeader {
  uint32_t cbCabinet = 0;
  uint32_t coffFiles = 0;
  uint8_t versionMinor = kVersionMinor;
  uint8_t versionMajor = kVersionMajor;
  uint16_t cFolders = 0;
  uint16_t cFiles = 0;
  uint16_t flags = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t cbCFHeader = 0;  // reserved bytes in the header (flag 0x0004)
  uint8_t cbCFFolder = 0;   // reserved bytes per folder record
  uint8_t cbCFData = 0;     // reserved bytes per data block
  std::string headerReserve;
  std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
  // Offset (from the cabinet's start) of the first folder record, and of the
  // first file record (right behind the folder records).
  uint32_t foldersOffset = 0;
  uint32_t filesOffset = 0;

  bool HasPrev() const { return (flags & kFlagPrevCabinet) != 0; }
  bool HasNext() const { return (flags & kFlagNextCabinet) != 0; }
  int FolderRecordSize() const { return kFolderFixedSize + cbCFFolder; }
  // Bytes of the header as written (fixed part, reserve, names).
  uint32_t Size() const;
};

struct CabFolder {
  uint32_t coffCabStart = 0;
  uint16_t cCFData = 0;
  uint16_t typeCompress = 0;
};

struct CabFile {
  uint32_t cbFile = 0;
  uint32_t uoffFolderStart = 0;
  uint16_t iFolder = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;
  std::string name;  // the stored bytes

  bool FromPrev() const { return iFolder == kFolderContinuedFromPrev || iFolder == kFolderContinuedPrevAndNext; }
  bool ToNext() const { return iFolder == kFolderContinuedToNext || iFolder == kFolderContinuedPrevAndNext; }
  // The folder of the cabinet the file's data lies in (first or last for split files).
  int FolderIndex(uint16_t cFolders) const;
  uint32_t RecordSize() const { return kFileFixedSize + static_cast<uint32_t>(name.size()) + 1; }
};

// What a read found.
enum class ParseResult { Ok, NotCabinet, Truncated, Corrupt };

// Reads up to n bytes at pos (from the start of the file); returns the count
// read, short at the end of the file, 0 or less on error.
using ReadAtFn = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

// Reads the header of a cabinet starting at base. NotCabinet: no signature or
// a major version other than 1. Corrupt: a name without its NUL within 256
// bytes, or folder or file counts of 0 where the flags need them.
ParseResult ReadHeader(const ReadAtFn& read, int64_t base, CabHeader& h);
// Folder record `index` (0-based) of a cabinet whose header was read.
ParseResult ReadFolder(const ReadAtFn& read, int64_t base, const CabHeader& h, int index, CabFolder& f);
// The file record at pos; next receives the position behind it.
ParseResult ReadFileRecord(const ReadAtFn& read, int64_t pos, CabFile& f, int64_t& next);
// Header, every folder and every file of the cabinet at base. Corrupt also
// when a file names a folder the cabinet does not have.
ParseResult ReadDirectory(const ReadAtFn& read, int64_t base, CabHeader& h, std::vector<CabFolder>& folders,
                          std::vector<CabFile>& files);

// The CFDATA checksum of n bytes, seeded (the block's checksum is the
// checksum of its data, then of its cbData and cbUncomp fields seeded with that).
uint32_t Checksum(const uint8_t* p, size_t n, uint32_t seed);
uint32_t BlockChecksum(const uint8_t* data, uint16_t cbData, uint16_t cbUncomp);

// Records as bytes.
std::string HeaderBytes(const CabHeader& h);
std::string FolderBytes(const CabFolder& f, uint8_t reserve);
std::string FileBytes(const CabFile& f);
std::string DataHeaderBytes(uint32_t csum, uint16_t cbData, uint16_t cbUncomp, uint8_t reserve);

// The file-name part of a stored cabinet name ("\" and "/" both separate).
std::string CabinetFileName(const std::string& stored);

}  // namespace plat::cab
