// Little-endian appenders for the hand-made records of the format tests.
// Each writes the low bytes of v, whatever its type.
#pragma once

#include <cstdint>
#include <string>

namespace testutil {

inline void Put8(std::string& s, uint32_t v) { s.push_back(static_cast<char>(v & 0xFF)); }
inline void Put16(std::string& s, uint32_t v) {
  Put8(s, v);
  Put8(s, v >> 8);
}
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}

}  // namespace testutil
