#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testutil.h"

namespace {

TEST(CodePage, EveryOemByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    std::string oem(1, static_cast<char>(b));
    std::string ansi = plat::OemToAnsi(oem);
    EXPECT_TRUE(plat::IsValidUtf8(ansi)) << b;
    std::string back;
    ASSERT_TRUE(plat::AnsiToOem(ansi, back)) << b;
    EXPECT_EQ(back, oem) << b;
  }
  // All 256 at once: the table is a bijection.
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string back;
  ASSERT_TRUE(plat::AnsiToOem(plat::OemToAnsi(all), back));
  EXPECT_EQ(back, all);
}

TEST(CodePage, KnownGlyphs) {
  EXPECT_EQ(plat::OemToAnsi("Gr\x81\xE1" "e"), "Grüße");
  EXPECT_EQ(plat::OemToAnsi("\x80\x9E\xB0\xC9\xE3\xFB\xFF"), "Ç₧░╔π√\u00A0");
  std::string oem;
  ASSERT_TRUE(plat::AnsiToOem("Ñandú ½ º", oem));
  EXPECT_EQ(oem, "\xA5" "and\xA3 \xAB \xA7");
}

TEST(CodePage, TableAgreesWithIconv) {
  REQUIRE_TOOL("iconv");
  testutil::TempDir dir;
  std::string high;
  for (int b = 0x80; b < 256; ++b) high += static_cast<char>(b);
  testutil::WriteFile(dir.file("oem.bin"), high);
  std::string out;
  int rc = testutil::Run("iconv -f CP437 -t UTF-8 " + testutil::ShellQuote(dir.file("oem.bin")), &out);
  if (rc != 0) GTEST_SKIP() << "iconv has no CP437 here";
  EXPECT_EQ(plat::OemToAnsi(high), out);
}

TEST(CodePage, UnmappableOrBrokenTextIsRefused) {
  const std::string bad[] = {
      "price €5",          // U+20AC has no CP437 form
      "中文",              // CJK
      "emoji \xF0\x9F\x98\x80",
      "\xFF" "abc",        // not UTF-8 at all
      "\xC0\xAF",          // overlong "/"
      "\xE0\x80\xAF",      // overlong "/" in three bytes
      "\xED\xA0\x80",      // a surrogate half
      "\xE2\x82",          // truncated sequence
      "\x80",              // lone continuation byte
  };
  for (const auto& s : bad) {
    std::string out = "untouched";
    EXPECT_FALSE(plat::AnsiToOem(s, out)) << s;
    EXPECT_EQ(out, "untouched");
  }
}

TEST(CodePage, StrictUtf8Validation) {
  EXPECT_TRUE(plat::IsValidUtf8(""));
  EXPECT_TRUE(plat::IsValidUtf8("plain ascii"));
  EXPECT_TRUE(plat::IsValidUtf8("\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF \xEF\xBF\xBF"));
  EXPECT_FALSE(plat::IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(plat::IsValidUtf8("\xF0\x8F\xBF\xBF"));  // overlong four-byte form
  EXPECT_FALSE(plat::IsValidUtf8("\xED\xBF\xBF"));      // surrogate
  EXPECT_FALSE(plat::IsValidUtf8("\xF8\x88\x80\x80\x80"));
  EXPECT_FALSE(plat::IsValidUtf8("ok\xC3"));
  EXPECT_TRUE(plat::IsAscii("abc\x7F"));
  EXPECT_FALSE(plat::IsAscii("ab\x80"));
}

}  // namespace
