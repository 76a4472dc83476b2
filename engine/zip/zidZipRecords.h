// The records of the ZIP container: local header, central header, the end
// records, the zip64 records, the spanning marker and the extra
// fields the engine understands (signatures and sizes: zidZipSigs.h). Each
// record is parsed from and written to a byte buffer field by field,
// little-endian.
//
// Header-enciphered archives carry 0x4C ("L") instead of 0x4B ("K") as the
// second signature byte; their record bodies are deciphered with the fixed
// header keys before they are parsed (DecryptHeaderRecord, zidCrypt.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/zidZipSigs.h"

namespace zid {

// Extra field IDs.
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraLargeFile = 100;  // the engine's old large-file field, read only
// A 32-bit size or offset that does not fit says so with this value, a 16-bit count with 0xFFFF.
constexpr uint32_t kZip64Mark32 = 0xFFFFFFFF;
constexpr uint16_t kZip64Mark16 = 0xFFFF;
// Version needed to extract an entry or archive that uses the zip64 records.
constexpr uint16_t kZip64Version = 45;
// The local zip64 field: ID, size, uncompressed and compressed size.
constexpr size_t kZip64ExtraLocal = 20;

struct TLocalHeader {
  uint32_t Signature = kLocalSig;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t Time = 0;
  uint16_t Date = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;

  void Read(const uint8_t* p);  // kLocalHeaderSize bytes
  void Write(uint8_t* p) const;
};

struct TCentralHeader {
  uint32_t Signature = kCentralSig;
  uint16_t VersionMadeBy = 20;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t Time = 0;
  uint16_t Date = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttr = 1;
  uint32_t ExternalAttr = 0;
  uint32_t LocalHeaderOffset = 0;

  void Read(const uint8_t* p);  // kCentralHeaderSize bytes
  void Write(uint8_t* p) const;
  // Copies the 24 bytes from flags to extra length out of a local header,
  // as the writer does for every entry.
  void CopyFromLocal(const TLocalHeader& local);
};

// The 22-byte end record, or the engine's 26-byte large form whose directory
// offset is 64 bits wide. Large is decided by the signature when reading.
struct TEndRecord {
  uint32_t Signature = kEndSig;
  uint16_t ThisDisk = 0;
  uint16_t DirectoryDisk = 0;
  uint16_t EntriesThisDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;
  uint16_t CommentLength = 0;

  bool Large() const { return IsLargeEndSig(Signature); }
  size_t Size() const { return Large() ? kLargeEndRecordSize : kEndRecordSize; }
  // Reads the signature first, then the layout it names; needs Size() bytes
  // (at least kLargeEndRecordSize when the signature is a large one).
  void Read(const uint8_t* p);
  void Write(uint8_t* p) const;  // writes Size() bytes
};

// Zip64 end of central directory record (extensible data ignored on reading,
// never written).
struct TZip64EndRecord {
  uint32_t Signature = 0;
  uint64_t RecordSize = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint32_t ThisDisk = 0;
  uint32_t DirectoryDisk = 0;
  uint64_t EntriesThisDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;

  void Read(const uint8_t* p);         // kZip64EndRecordSize bytes
  void Write(uint8_t* p) const;        // kZip64EndRecordSize bytes; RecordSize is set to 44
};

// The zip64 locator of a one-disk archive: where its zip64 end record is.
void WriteZip64Locator(uint8_t* p, uint64_t zip64EndOffset);  // kZip64LocatorSize bytes

// Writes the spanning marker (4 bytes).
void WriteSpanMarker(uint8_t* p);
bool IsSpanMarker(const uint8_t* p);  // needs 4 bytes

// The blocks of an extra field in order. A block whose declared size runs
// past the field ends the walk: the rest of the field is skipped.
class TExtraFields {
 public:
  TExtraFields(const void* extra, size_t len) : p_(static_cast<const uint8_t*>(extra)), len_(len) {}
  // Moves to the next block; false when there is none.
  bool Next();
  uint16_t Id() const { return id_; }
  const uint8_t* Data() const { return p_ + pos_ + 4; }
  size_t Size() const { return size_; }
  size_t Offset() const { return pos_; }  // of the block's ID within the field

 private:
  const uint8_t* p_;
  size_t len_;
  size_t pos_ = 0;
  size_t next_ = 0;
  uint16_t id_ = 0;
  size_t size_ = 0;
};

// Sizes of one entry as the extra fields complete them. Start from the
// 32-bit header fields; ParseExtraField widens them.
struct TEntrySizes {
  int64_t CompressedSize = 0;
  int64_t UncompressedSize = 0;
  int64_t LocalHeaderOffset = 0;
};

// Applies the extra fields of a local (central = false) or central header:
// ID 0x0001 replaces each size (and, in a central header, the offset) whose
// 32-bit field holds 0xFFFFFFFF, keeping its low 48 bits; ID 100 supplies
// bits 32..47. Other IDs are skipped by their declared size; a field that
// runs past the end stops parsing. Never reads outside extra[0..len).
void ParseExtraField(const uint8_t* extra, size_t len, bool central, TEntrySizes& sizes);

// A local header carries the zip64 field when the file's compressed size
// might not fit in 32 bits. It is decided before the data is written, so
// with a margin for what Deflate and encryption may add (zlib's bound is
// under 0.04%).
bool NeedsZip64Local(int64_t uncompressedSize);
// Writes the local zip64 field (kZip64ExtraLocal bytes) and saturates both
// sizes of the header, as the APPNOTE asks of a local zip64 field.
void WriteZip64Local(uint8_t* p, TLocalHeader& header, const TEntrySizes& sizes);
// Fills the central header's sizes and offset; those that do not fit in 32
// bits are saturated and returned as a zip64 field (empty when all fit).
std::string SetCentralSizes(TCentralHeader& header, const TEntrySizes& sizes);
// The modification time of an entry's UT (0x5455, Info-ZIP) or NTFS (0x000A,
// 7-Zip, WinZip) field as Unix seconds; -1 when it has neither. UT wins.
int64_t ExtraUnixTime(const uint8_t* extra, size_t len);
constexpr uint16_t kExtraUnixTime = 0x5455;
constexpr size_t kUnixTimeExtraSize = 9;
// The UT field with the modification time only, as local and central header
// carry it (kUnixTimeExtraSize bytes); empty when the time does not fit its
// 32 bits.
std::string UnixTimeExtra(int64_t mtime);

// The extra field without the size blocks (zip64 and ID 100) a writer rebuilds.
std::string WithoutSizeFields(const std::string& extra);

}  // namespace zid
