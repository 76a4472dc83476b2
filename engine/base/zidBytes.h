// Little-endian fields of on-disk records, read and written byte by byte so
// that records never depend on the host's layout or alignment.
#pragma once

#include <cstdint>

namespace zid {

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline void Put64(uint8_t* p, uint64_t v) {
  Put32(p, static_cast<uint32_t>(v));
  Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// The same helpers over char buffers, for callers that hold std::string data.
inline uint16_t Get16(const char* p) { return Get16(reinterpret_cast<const uint8_t*>(p)); }
inline uint32_t Get32(const char* p) { return Get32(reinterpret_cast<const uint8_t*>(p)); }
inline uint64_t Get64(const char* p) { return Get64(reinterpret_cast<const uint8_t*>(p)); }

}  // namespace zid
