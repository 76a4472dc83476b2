// The traditional cipher against Info-ZIP: its headers pass our check, ours
// pass its check, and header records round-trip under the fixed keys.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/zip/zidCrypt.h"
#include "platform/hooks.h"
#include "support/testutil.h"
#include "zip_fixture.h"

namespace zid {
namespace {

using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::WriteFile;

// The first entry of a ZIP written by Info-ZIP, read from its local header.
struct LocalEntry {
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = 0;
  uint32_t crc = 0;
  std::string data;  // compressed bytes, encryption header included
};

LocalEntry ReadFirstEntry(const std::string& zip) {
  LocalEntry e;
  EXPECT_GE(zip.size(), 30u);
  const auto* p = reinterpret_cast<const uint8_t*>(zip.data());
  EXPECT_EQ(Get32(p), 0x04034B50u);
  e.flags = Get16(p + 6);
  e.method = Get16(p + 8);
  e.dosDateTime = Get32(p + 10);  // time in the low word, date in the high word
  e.crc = Get32(p + 14);
  const uint32_t csize = Get32(p + 18);
  const size_t start = 30 + Get16(p + 26) + Get16(p + 28);
  e.data = zip.substr(start, csize);
  return e;
}

// A one-entry stored archive around data already enciphered by us.
std::string BuildZip(const std::string& name, const std::string& payload, uint32_t crc, uint32_t usize) {
  ziptest::Entry e;
  e.name = name;
  e.data = payload;
  e.flags = 1;  // encrypted
  e.crc = crc;
  e.usize = usize;
  e.dosDate = 0x5A2B;
  return ziptest::Build({e});
}

struct ReseedGuard {
  ~ReseedGuard() { SetCryptReseed(true); }
};

TEST(Crypt, BufferRoundTripAndKeySchedule) {
  TCryptKeys keys{};
  keys.Init("");
  EXPECT_EQ(keys.Key0, kInitialKeys.Key0);
  std::string plain = testutil::RandomBytes(5000, 1);
  std::string buf = plain;
  keys.Init("pass");
  keys.Encrypt(buf.data(), static_cast<int64_t>(buf.size()));
  EXPECT_NE(buf, plain);
  keys.Init("pass");
  keys.Decrypt(buf.data(), static_cast<int64_t>(buf.size()));
  EXPECT_EQ(buf, plain);
  // Only the first 255 bytes of a password count.
  keys.Init(std::string(255, 'p') + "tail");
  TCryptKeys shorter{};
  shorter.Init(std::string(255, 'p'));
  EXPECT_EQ(shorter.Key0, keys.Key0);
  EXPECT_EQ(shorter.Key2, keys.Key2);
}

TEST(Crypt, InfoZipHeaderPassesAndDataDeciphers) {
  REQUIRE_TOOL("zip");
  testutil::TempDir dir;
  const std::string original = testutil::TextBytes(40000, 2);
  WriteFile(dir.file("a.txt"), original);
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(dir.path()) + " && zip -q -0 -P secret s.zip a.txt"), 0);
  LocalEntry e = ReadFirstEntry(ReadFile(dir.file("s.zip")));
  ASSERT_EQ(e.flags & 1, 1);
  ASSERT_EQ(e.method, 0);
  ASSERT_EQ(e.data.size(), original.size() + 12);
  const auto* h = reinterpret_cast<const uint8_t*>(e.data.data());
  TCryptKeys keys{};
  ASSERT_TRUE(CheckEncryptionHeader(keys, h, e.flags, e.crc, "secret", e.dosDateTime));
  std::string body = e.data.substr(12);
  keys.Decrypt(body.data(), static_cast<int64_t>(body.size()));
  EXPECT_EQ(body, original);
  EXPECT_EQ(Crc32Of(body.data(), static_cast<int64_t>(body.size())), e.crc);

  // A wrong password fails the header check, or (about 1 in 256) the CRC.
  for (const char* wrong : {"Secret", "secret ", "x", "password", "12345", "secreT"}) {
    if (!CheckEncryptionHeader(keys, h, e.flags, e.crc, wrong, e.dosDateTime)) continue;
    std::string b = e.data.substr(12);
    keys.Decrypt(b.data(), static_cast<int64_t>(b.size()));
    EXPECT_NE(Crc32Of(b.data(), static_cast<int64_t>(b.size())), e.crc) << wrong;
  }
  EXPECT_FALSE(CheckEncryptionHeader(keys, h, e.flags, e.crc, "", e.dosDateTime));
}

TEST(Crypt, DataDescriptorEntriesCompareTheTimeByte) {
  TCryptKeys keys{};
  keys.Init("pw");
  const uint32_t dosDateTime = 0x5A2B6C31u, crc = 0xDEADBEEFu;
  uint8_t h[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, static_cast<uint8_t>(dosDateTime >> 8)};
  keys.Encrypt(h, 12);
  EXPECT_TRUE(CheckEncryptionHeader(keys, h, 0x0009, crc, "pw", dosDateTime));
  EXPECT_FALSE(CheckEncryptionHeader(keys, h, 0x0001, crc, "pw", dosDateTime));
}

TEST(Crypt, HeadersDifferAndAFixedSeedRepeats) {
  TCryptKeys keys{};
  const TEncryptionHeader a = MakeEncryptionHeader(keys, "pw", 0x11223344u);
  const TEncryptionHeader b = MakeEncryptionHeader(keys, "pw", 0x11223344u);
  EXPECT_NE(std::memcmp(a.data(), b.data(), 10), 0);
  EXPECT_TRUE(CheckEncryptionHeader(keys, a.data(), 0, 0x11223344u, "pw", 0));
  EXPECT_TRUE(CheckEncryptionHeader(keys, b.data(), 0, 0x11223344u, "pw", 0));

  ReseedGuard guard;
  SetCryptReseed(false);
  plat::RandSeed(42);
  const TEncryptionHeader c = MakeEncryptionHeader(keys, "pw", 1);
  plat::RandSeed(42);
  const TEncryptionHeader d = MakeEncryptionHeader(keys, "pw", 1);
  EXPECT_EQ(c, d);
}

TEST(Crypt, InfoZipAcceptsOurEncryption) {
  REQUIRE_TOOL("unzip");
  testutil::TempDir dir;
  const std::string original = testutil::RandomBytes(30000, 3);
  const uint32_t crc = Crc32Of(original.data(), static_cast<int64_t>(original.size()));
  TCryptKeys keys{};
  const TEncryptionHeader h = MakeEncryptionHeader(keys, "open sesame", crc);
  std::string payload(h.begin(), h.end());
  std::string body = original;
  keys.Encrypt(body.data(), static_cast<int64_t>(body.size()));
  payload += body;
  WriteFile(dir.file("ours.zip"), BuildZip("f.bin", payload, crc, static_cast<uint32_t>(original.size())));
  std::string out;
  ASSERT_EQ(testutil::Run("unzip -o -q -P 'open sesame' -d " + ShellQuote(dir.file("x")) + " " +
                              ShellQuote(dir.file("ours.zip")),
                          &out),
            0)
      << out;
  EXPECT_EQ(ReadFile(dir.file("x/f.bin")), original);
  EXPECT_NE(testutil::Run("unzip -o -q -P wrong -d " + ShellQuote(dir.file("y")) + " " +
                          ShellQuote(dir.file("ours.zip")) + " 2>/dev/null"),
            0);
}

TEST(Crypt, HeaderRecordsUseTheFixedKeysAndContinueIntoTheName) {
  EXPECT_EQ(kHeaderKeys.Key0, 0x12345678u & 0x34567890u);
  EXPECT_EQ(kHeaderKeys.Key1, 0x12345678u & 0x23456789u);
  EXPECT_EQ(kHeaderKeys.Key2, 0x34567890u & 0x23456789u);
  for (THeaderRecordKind kind : {hrLocal, hrCentral, hrEnding, hrEnding64}) {
    std::string rec = "PL\x03\x04" + testutil::RandomBytes(static_cast<size_t>(kind) + 5, kind);
    std::string name = "dir/name.txt";
    const std::string rec0 = rec, name0 = name;
    EncryptHeaderRecord(reinterpret_cast<uint8_t*>(rec.data()), kind, reinterpret_cast<uint8_t*>(name.data()),
                        static_cast<int64_t>(name.size()));
    EXPECT_EQ(rec.substr(0, 4), rec0.substr(0, 4));        // signature kept
    EXPECT_EQ(rec.substr(4 + kind), rec0.substr(4 + kind));  // nothing past the body
    EXPECT_NE(rec.substr(4, kind), rec0.substr(4, kind));
    EXPECT_NE(name, name0);
    // Deciphered in two steps, as a reader does: body, then the name.
    TCryptKeys keys = DecryptHeaderRecord(reinterpret_cast<uint8_t*>(rec.data()), kind);
    keys.Decrypt(name.data(), static_cast<int64_t>(name.size()));
    EXPECT_EQ(rec, rec0);
    EXPECT_EQ(name, name0);
  }
}

}  // namespace
}  // namespace zid
