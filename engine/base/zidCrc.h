// The two checksums of the engine: CRC-32 (ZIP, GZIP, ARJ: reflected
// polynomial 0xEDB88320) and CRC-16 (the ARC CRC of the LHA family: reflected
// polynomial 0xA001).
//
// Running values: a CRC-32 runs from 0xFFFFFFFF and is stored as the running
// value XOR 0xFFFFFFFF; a CRC-16 runs from 0 and is stored as it is. The
// update routines take and give back the running value, never the finished one.
#pragma once

#include <array>
#include <cstdint>

namespace zid {

constexpr uint32_t kCrc32Init = 0xFFFFFFFFu;
constexpr uint16_t kCrc16Init = 0;

// Selector of a checksum, as the filter streams and the extract loop take it.
enum TCrcKind : int { ckNone = 0, ckCrc16 = 16, ckCrc32 = 32 };

// The byte tables. The CRC-32 table is also the traditional ZIP cipher's.
extern const std::array<uint32_t, 256> Crc32Table;
extern const std::array<uint16_t, 256> Crc16Table;

// One byte into a running value: table[(value XOR byte) AND 0xFF] XOR (value SHR 8).
inline uint32_t Crc32Step(uint32_t crc, uint8_t b) { return Crc32Table[(crc ^ b) & 0xFF] ^ (crc >> 8); }
inline uint16_t Crc16Step(uint16_t crc, uint8_t b) {
  return static_cast<uint16_t>(Crc16Table[(crc ^ b) & 0xFF] ^ (crc >> 8));
}

// Fold count bytes into the running value; a count of 0 or less changes nothing.
void UpdateCrc32(const void* buffer, int64_t count, uint32_t& crc);
void UpdateCrc16(const void* buffer, int64_t count, uint16_t& crc);
// The same for a CRC-16 kept in a 32-bit variable (the upper half stays 0).
void UpdateCrc16(const void* buffer, int64_t count, uint32_t& crc);

// Finished checksums of a whole buffer (CRC-32 already XORed).
uint32_t Crc32Of(const void* buffer, int64_t count);
uint16_t Crc16Of(const void* buffer, int64_t count);

}  // namespace zid
