// What detection knows of ZIP: record signatures and sizes, the record kinds
// it finds, the few tail fields it reads. engine/zip/zidZipRecords.h builds on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/base/zidBytes.h"

namespace zid {

// Kinds of ZIP record; as a set (THeaderTypeState) the values are bits.
enum THeaderType : uint8_t {
  htNone = 0,
  htLocal = 1,
  htCentral = 2,
  htEnding = 4,
  htLocator = 8,
  htEnding64 = 16,
};
using THeaderTypeState = uint8_t;

// Signatures as 32-bit little-endian values; header-enciphered archives have "L" for "K".
constexpr uint32_t kLocalSig = 0x04034B50;
constexpr uint32_t kLocalSigEnc = 0x04034C50;
constexpr uint32_t kCentralSig = 0x02014B50;
constexpr uint32_t kCentralSigEnc = 0x02014C50;
constexpr uint32_t kEndSig = 0x06054B50;
constexpr uint32_t kEndSigEnc = 0x06054C50;
constexpr uint32_t kLargeEndSig = 0x06055B50;
constexpr uint32_t kLargeEndSigEnc = 0x06055C50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kSpanMarkerSig = 0x08074B50;

// Fixed record sizes.
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndRecordSize = 22;
constexpr size_t kLargeEndRecordSize = 26;
constexpr size_t kZip64EndRecordSize = 56;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kSpanMarkerSize = 4;

// True for the normal and the header-enciphered form of each signature.
inline bool IsLocalSig(uint32_t sig) { return sig == kLocalSig || sig == kLocalSigEnc; }
inline bool IsCentralSig(uint32_t sig) { return sig == kCentralSig || sig == kCentralSigEnc; }
inline bool IsEndSig(uint32_t sig) { return sig == kEndSig || sig == kEndSigEnc; }  // the 22-byte end record
// The engine's 26-byte end record, whose directory offset is 64 bits wide.
inline bool IsLargeEndSig(uint32_t sig) { return sig == kLargeEndSig || sig == kLargeEndSigEnc; }
// The "L" form of any record signature.
inline bool IsEncipheredSig(uint32_t sig) { return ((sig >> 8) & 0xFF) == 0x4C || ((sig >> 8) & 0xFF) == 0x5C; }

// The fields detection reads, from records as they lie in the file (bodies deciphered).
struct TZipTailFields {
  // End record (22 bytes, or the 26-byte large form).
  static uint16_t ThisDisk(const uint8_t* end) { return Get16(end + 4); }
  static uint32_t DirectorySize(const uint8_t* end) { return Get32(end + 12); }
  static uint64_t DirectoryOffset(const uint8_t* end) {
    return IsLargeEndSig(Get32(end)) ? Get64(end + 16) : Get32(end + 16);
  }
  // Zip64 locator and end record.
  static uint64_t Zip64EndRecordOffset(const uint8_t* locator) { return Get64(locator + 8); }
  static uint64_t Zip64DirectorySize(const uint8_t* end64) { return Get64(end64 + 40); }
  static uint64_t Zip64DirectoryOffset(const uint8_t* end64) { return Get64(end64 + 48); }
  // Central header.
  static uint32_t LocalHeaderOffset(const uint8_t* central) { return Get32(central + 42); }
};

}  // namespace zid
