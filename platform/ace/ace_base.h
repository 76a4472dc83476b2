// The small pieces every part of the ACE library shares: the result of a
// decode, the failure the decoders raise, little-endian field readers and the
// ACE CRC-32.
//
// The library sits beneath the engine (it stands where an outside ACE library
// would), so it keeps its own CRC table and helpers instead of reaching up
// into engine/base.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ace {

// How a member (or a call) ended.
enum class TResult : int {
  Ok = 0,
  CrcError,       // decoded to the end, the checksum differs
  DataError,      // invalid tables, codes, distances, filter parameters
  Truncated,      // the packed data ended before the output did
  Unsupported,    // a compression type this library does not know
  WrongPassword,  // no password given or accepted for an encrypted member
  Cancelled,      // a callback asked to stop
  OutputFailed,   // the consumer refused the decoded bytes
  ReadError,      // a volume could not be read
  MissingVolume,  // the next volume of a split member was refused or is absent
  BadHeader,      // a damaged block header
};

// Raised inside the library by the decoders and the volume reader; caught
// where a member's decode or a call ends. Never leaves the library.
struct TFailure {
  TResult result;
};
[[noreturn]] inline void Fail(TResult r) { throw TFailure{r}; }

// Packed input: fills at most n bytes and returns how many; 0 = the end.
using TReadFn = std::function<size_t(uint8_t* buf, size_t n)>;
// Decoded output: false when the consumer wants no more (ends with Cancelled).
using TSinkFn = std::function<bool(const uint8_t* buf, size_t n)>;

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }

// The ACE CRC-32: the reflected 0xEDB88320 CRC preset to all ones and never
// inverted at the end, so an empty input gives 0xFFFFFFFF.
constexpr uint32_t kCrcInit = 0xFFFFFFFFu;
uint32_t UpdateCrc(uint32_t crc, const uint8_t* p, size_t n);
inline uint32_t Crc32(const uint8_t* p, size_t n) { return UpdateCrc(kCrcInit, p, n); }
// Header check value: the low half of the CRC of the header body.
inline uint16_t HeaderCrc(const uint8_t* p, size_t n) { return static_cast<uint16_t>(Crc32(p, n) & 0xFFFF); }

}  // namespace ace
