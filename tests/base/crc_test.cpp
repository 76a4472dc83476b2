// CRC-32 and CRC-16 against published check values and zlib.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "engine/base/zidCrc.h"
#include "support/testutil.h"

namespace zid {
namespace {

TEST(Crc32, CheckValues) {
  EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  // Nothing folded in: the running value stays at its start, the stored CRC is 0.
  uint32_t running = kCrc32Init;
  UpdateCrc32("", 0, running);
  EXPECT_EQ(running, 0xFFFFFFFFu);
  EXPECT_EQ(Crc32Of(nullptr, 0), 0u);
}

TEST(Crc32, NonPositiveCountChangesNothing) {
  uint32_t c = 0x12345678;
  UpdateCrc32("abc", -1, c);
  UpdateCrc32("abc", 0, c);
  EXPECT_EQ(c, 0x12345678u);
}

TEST(Crc32, PiecewiseEqualsWholeAndMatchesTableAndZlib) {
  const std::string data = testutil::RandomBytes(300000, 7);
  uint32_t pieces = kCrc32Init;
  size_t pos = 0;
  for (size_t step = 1; pos < data.size(); step = step * 3 + 1) {
    const size_t n = std::min(step, data.size() - pos);
    UpdateCrc32(data.data() + pos, static_cast<int64_t>(n), pieces);
    pos += n;
  }
  uint32_t table = kCrc32Init;
  for (unsigned char b : data) table = Crc32Step(table, b);
  const uLong z = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
  EXPECT_EQ(pieces, table);
  EXPECT_EQ(pieces ^ 0xFFFFFFFFu, z);
  EXPECT_EQ(Crc32Of(data.data(), static_cast<int64_t>(data.size())), z);
}

TEST(Crc32, TableIsTheReflectedPolynomial) {
  EXPECT_EQ(Crc32Table[0], 0u);
  EXPECT_EQ(Crc32Table[1], 0x77073096u);
  EXPECT_EQ(Crc32Table[128], 0xEDB88320u);
  EXPECT_EQ(Crc32Table[255], 0x2D02EF8Du);
}

TEST(Crc16, ArcCheckValueAndWidths) {
  EXPECT_EQ(Crc16Of("123456789", 9), 0xBB3D);
  EXPECT_EQ(Crc16Table[128], 0xA001);
  // The 32-bit form keeps the same running value.
  uint32_t wide = 0;
  UpdateCrc16("1234", 4, wide);
  UpdateCrc16("56789", 5, wide);
  EXPECT_EQ(wide, 0xBB3Du);
  uint16_t narrow = 0x55;
  UpdateCrc16("x", -4, narrow);
  EXPECT_EQ(narrow, 0x55);
  EXPECT_EQ(Crc16Of("", 0), 0);
  // Eight bytes at a time or one: the same value for every split and length.
  const std::string data = "The quick brown fox jumps over the lazy dog, 0123456789 times over";
  uint16_t whole = 0;
  for (unsigned char ch : data) whole = static_cast<uint16_t>(Crc16Table[(whole ^ ch) & 0xFF] ^ (whole >> 8));
  for (size_t cut = 0; cut <= 17; ++cut) {
    uint16_t c = 0;
    UpdateCrc16(data.data(), static_cast<int64_t>(cut), c);
    UpdateCrc16(data.data() + cut, static_cast<int64_t>(data.size() - cut), c);
    EXPECT_EQ(c, whole) << cut;
  }
}

}  // namespace
}  // namespace zid
