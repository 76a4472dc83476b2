// Table-driven CRC-32 and CRC-16. The tables are built at compile time from
// their reflected polynomials.
#include "engine/base/zidCrc.h"

#include <libdeflate.h>

#include <array>

namespace zid {
namespace {

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[i] = c;
  }
  return t;
}

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
  std::array<uint16_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[i] = static_cast<uint16_t>(c);
  }
  return t;
}

constexpr auto kCrc32 = MakeCrc32Table();
constexpr auto kCrc16 = MakeCrc16Table();

// Slicing by 8 for the 16-bit CRC: table k gives the effect of a byte that
// has 8 - 1 - k more bytes behind it, so eight bytes cost eight lookups and
// no dependency chain (the byte-wise loop was a quarter of LHA testing time).
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrc16Slices() {
  std::array<std::array<uint16_t, 256>, 8> t{};
  t[0] = MakeCrc16Table();
  for (int k = 1; k < 8; ++k)
    for (int i = 0; i < 256; ++i) t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr auto kCrc16Slices = MakeCrc16Slices();

}  // namespace

const std::array<uint32_t, 256> Crc32Table = kCrc32;
const std::array<uint16_t, 256> Crc16Table = kCrc16;

void UpdateCrc32(const void* buffer, int64_t count, uint32_t& crc) {
  if (count <= 0 || buffer == nullptr) return;
  // libdeflate's folding CRC is many times faster than one lookup per byte; it
  // computes the same polynomial on the finished value, hence the inversions.
  crc = ~libdeflate_crc32(~crc, buffer, static_cast<size_t>(count));
}

void UpdateCrc16(const void* buffer, int64_t count, uint16_t& crc) {
  if (count <= 0 || buffer == nullptr) return;
  const auto* p = static_cast<const uint8_t*>(buffer);
  uint32_t c = crc;
  const auto& t = kCrc16Slices;
  for (; count >= 8; count -= 8, p += 8) {
    const uint32_t lo = c ^ (p[0] | (uint32_t{p[1]} << 8));
    c = t[7][lo & 0xFF] ^ t[6][lo >> 8] ^ t[5][p[2]] ^ t[4][p[3]] ^ t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^
        t[0][p[7]];
  }
  for (int64_t i = 0; i < count; ++i) c = kCrc16[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  crc = static_cast<uint16_t>(c);
}

void UpdateCrc16(const void* buffer, int64_t count, uint32_t& crc) {
  uint16_t c = static_cast<uint16_t>(crc);
  UpdateCrc16(buffer, count, c);
  crc = c;
}

uint32_t Crc32Of(const void* buffer, int64_t count) {
  uint32_t c = kCrc32Init;
  UpdateCrc32(buffer, count, c);
  return c ^ 0xFFFFFFFFu;
}

uint16_t Crc16Of(const void* buffer, int64_t count) {
  uint16_t c = kCrc16Init;
  UpdateCrc16(buffer, count, c);
  return c;
}

}  // namespace zid
