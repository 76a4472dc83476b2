// TUnZip: the extraction rules (offset correction, complemented CRC,
// passwords, damaged directories, methods) and hostile archives. Every
// extraction runs under the 10 s watchdog of unzip_helpers.h.
#include <gtest/gtest.h>

#include "engine/base/zidBytes.h"
#include "engine/zip/zidCrypt.h"
#include "platform/files.h"
#include "zip_fixture.h"

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
using ziptest::Build;
using ziptest::Entry;
using ziptest::Plain;

namespace {

// Enciphers `data` for an entry with the traditional cipher. The random
// header is drawn again while one of the tests' wrong passwords would pass its
// one-byte check (1 time in 256 each), so that the tests do not flake.
std::string Encipher(const std::string& data, const std::string& password, uint32_t crc) {
  zid::SetCryptReseed(false);
  zid::TEncryptionHeader h;
  zid::TCryptKeys keys{};
  do h = zid::MakeEncryptionHeader(keys, password, crc);
  while (zid::CheckEncryptionHeader(keys, h.data(), 0, crc, "nope", 0) ||
         zid::CheckEncryptionHeader(keys, h.data(), 0, crc, "wrong", 0) ||
         zid::CheckEncryptionHeader(keys, h.data(), 0, crc, "x", 0));
  // Leaves the keys where the header's end puts them, ready for the data.
  zid::CheckEncryptionHeader(keys, h.data(), 0, crc, password, 0);
  std::string body = data;
  keys.Encrypt(body.data(), static_cast<int64_t>(body.size()));
  return std::string(reinterpret_cast<const char*>(h.data()), h.size()) + body;
}

Entry Encrypted(const std::string& name, const std::string& content, const std::string& password) {
  Entry e = Plain(name, content);
  e.flags = 1;
  e.data = Encipher(content, password, e.crc);
  return e;
}

// The hand-made Deflate64 stream: 40,000 literal bytes in a stored block, then
// one fixed block with length code 285 (extra 65,000) at distance 40,000.
std::string Deflate64Sample(std::string& plain) {
  std::string head = testutil::RandomBytes(40000, 3);
  std::string out;
  // stored block, not final
  out += '\0';
  ziptest::Put16(out, 40000);
  ziptest::Put16(out, static_cast<uint16_t>(~40000));
  out += head;
  // fixed block, final: bits LSB first
  uint64_t acc = 0;
  int n = 0;
  auto bits = [&](uint32_t v, int count) {
    acc |= static_cast<uint64_t>(v) << n;
    n += count;
    while (n >= 8) {
      out += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      n -= 8;
    }
  };
  auto huff = [&](uint32_t code, int len) {  // Huffman codes go MSB first
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) r |= ((code >> i) & 1) << (len - 1 - i);
    bits(r, len);
  };
  bits(1, 1);
  bits(1, 2);
  huff(0xC5, 8);          // symbol 285: 280..287 -> 0xC0 + (sym - 280), 8 bits
  bits(65000, 16);        // Deflate64 length extra
  huff(30, 5);            // distance code 30: base 32,769, 14 extra bits
  bits(40000 - 32769, 14);
  huff(0, 7);             // end of block (256)
  bits(0, 7);
  plain = head;
  for (int i = 0; i < 65003; ++i) plain.push_back(plain[plain.size() - 40000]);
  return out;
}

}  // namespace

TEST(UnZipRules, StubWithoutFixedOffsetsIsCorrected) {
  TempDir tmp;
  const std::string a = testutil::TextBytes(20000, 1), b = testutil::RandomBytes(3000, 2);
  // 77 bytes in front; the offsets do not count them and the directory start
  // is found from the end record's position.
  WriteFile(tmp.file("s.zip"), Build({Plain("a.txt", a, true), Plain("b.bin", b)}, std::string(77, 'X')));
  ziptest::Report r = ziptest::Extract(tmp.file("s.zip"), tmp.file("out"));
  EXPECT_TRUE(r.codes.empty());
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), a);
  EXPECT_EQ(ReadFile(tmp.file("out/b.bin")), b);
}

TEST(UnZipRules, ComplementedCrcPassesAndWrongCrcFails) {
  TempDir tmp;
  Entry good = Plain("good.txt", "hello");
  good.crc = ~good.crc;
  Entry bad = Plain("bad.txt", "hello");
  bad.crc ^= 0x100;
  WriteFile(tmp.file("c.zip"), Build({good, bad}));
  ziptest::Report r = ziptest::Extract(tmp.file("c.zip"), tmp.file("out"), nullptr, true);
  ASSERT_EQ(r.ends.size(), 2u);
  EXPECT_TRUE(r.ends[0].second);
  EXPECT_FALSE(r.ends[1].second);
  EXPECT_TRUE(r.codes.empty());  // with OnEnd assigned the verdict goes there only
  r = ziptest::Extract(tmp.file("c.zip"), tmp.file("out2"));
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_CRCERROR});
}

TEST(UnZipRules, PasswordsListWithoutOnGetPassword) {
  TempDir tmp;
  WriteFile(tmp.file("p.zip"), Build({Encrypted("one.txt", "first secret", "alpha"),
                                      Encrypted("two.txt", "second secret", "beta")}));
  ziptest::Report r = ziptest::Extract(tmp.file("p.zip"), tmp.file("out"),
                                           [](zid::TUnZip& un) { un.Passwords = {"nope", "alpha"}; });
  EXPECT_EQ(ReadFile(tmp.file("out/one.txt")), "first secret");
  EXPECT_FALSE(plat::FileExists(tmp.file("out/two.txt")));
  ASSERT_FALSE(r.codes.empty());
  // Passwords were given and none fits: a wrong password, not a missing event.
  EXPECT_EQ(r.codes[0], zid::E_INVALIDPASSWORD);
  EXPECT_EQ(r.stats.passed, 1);
}

TEST(UnZipRules, AcceptedPasswordGoesToTheFrontOfPasswords) {
  TempDir tmp;
  WriteFile(tmp.file("p.zip"),
            Build({Encrypted("one.txt", "first", "gamma"), Encrypted("two.txt", "second", "gamma")}));
  int asked = 0;
  zid::TUnZip un;
  ziptest::Report r = ziptest::Extract(
      tmp.file("p.zip"), tmp.file("out"),
      [&](zid::TUnZip& u) {
        u.Passwords = {"x"};
        u.OnGetPassword = [&](zid::TZipCommon*, const std::string&, std::string& pw, bool& again) {
          ++asked;
          pw = asked == 1 ? "wrong" : "gamma";
          again = true;
        };
      },
      false, &un);
  EXPECT_EQ(asked, 2);  // the second entry tries the accepted password first
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_INVALIDPASSWORD});
  ASSERT_GE(un.Passwords.size(), 2u);
  EXPECT_EQ(un.Passwords[0], "gamma");
  EXPECT_EQ(un.Password, "gamma");
  EXPECT_EQ(ReadFile(tmp.file("out/two.txt")), "second");
}

TEST(UnZipRules, EncryptedSizesAndWrongPasswordPassingTheCheckByte) {
  TempDir tmp;
  Entry tooShort = Encrypted("short.txt", "x", "pw");
  tooShort.data.resize(11);
  Entry empty = Encrypted("empty.txt", "", "pw");  // exactly the 12 header bytes
  ASSERT_EQ(empty.data.size(), 12u);
  WriteFile(tmp.file("e.zip"), Build({tooShort, empty}));
  ziptest::Report r =
      ziptest::Extract(tmp.file("e.zip"), tmp.file("out"), [](zid::TUnZip& u) { u.Password = "pw"; });
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_BADFILEHEADER});
  EXPECT_TRUE(plat::FileExists(tmp.file("out/empty.txt")));
  EXPECT_EQ(ReadFile(tmp.file("out/empty.txt")), "");

  // Find a wrong password whose check byte matches by chance (1 in 256).
  const std::string content = testutil::TextBytes(3000, 4);
  Entry e = Encrypted("t.txt", content, "right");
  WriteFile(tmp.file("w.zip"), Build({e}));
  std::string wrong;
  for (int i = 0; i < 5000 && wrong.empty(); ++i) {
    std::string cand = "w" + std::to_string(i);
    zid::TCryptKeys keys{};
    if (zid::CheckEncryptionHeader(keys, reinterpret_cast<const uint8_t*>(e.data.data()), 0, e.crc, cand, 0))
      wrong = cand;
  }
  ASSERT_FALSE(wrong.empty());
  r = ziptest::Extract(tmp.file("w.zip"), tmp.file("out2"), [&](zid::TUnZip& u) { u.Password = wrong; });
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_CRCERROR});
}

TEST(UnZipRules, LocalHeadersOnlyUnlessOnCorruptZipHeaderCancels) {
  TempDir tmp;
  std::string zip = Build({Plain("a.txt", "alpha"), Plain("b.txt", testutil::TextBytes(4000, 5), true)});
  zip.resize(zip.find("PK\x01\x02"));  // no central directory, no end record
  WriteFile(tmp.file("d.zip"), zip);
  ziptest::Report r = ziptest::Extract(tmp.file("d.zip"), tmp.file("out"));
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_BADFILEHEADER});  // the warning: no central directory
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), "alpha");
  EXPECT_EQ(ReadFile(tmp.file("out/b.txt")), testutil::TextBytes(4000, 5));
  uint8_t seen = 0;
  r = ziptest::Extract(tmp.file("d.zip"), tmp.file("out2"), [&](zid::TUnZip& u) {
    u.OnCorruptZipHeader = [&](zid::TZipCommon*, uint8_t flags, bool&) { seen = flags; };
  });
  EXPECT_EQ(seen, zid::htLocal);
  EXPECT_FALSE(plat::FileExists(tmp.file("out2/a.txt")));
  EXPECT_TRUE(r.stats.archiveFailed);
}

// Without a directory, a damaged local header loses its entry only: the walk
// goes on at the next local header that looks real.
TEST(UnZipRules, LocalHeaderWalkGoesOnAfterADamagedHeader) {
  TempDir tmp;
  const std::string c = testutil::RandomBytes(3000, 7);
  std::string zip = Build({Plain("a.txt", "alpha"), Plain("b.txt", "bravo"), Plain("c.bin", c)});
  zip.resize(zip.find("PK\x01\x02"));
  zip.replace(zip.find("PK\x03\x04", 4), 4, "XXXX");  // b.txt's signature
  WriteFile(tmp.file("d.zip"), zip);
  ziptest::Report r = ziptest::Extract(tmp.file("d.zip"), tmp.file("out"));
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), "alpha");
  EXPECT_TRUE(ReadFile(tmp.file("out/c.bin")) == c);
  EXPECT_FALSE(plat::FileExists(tmp.file("out/b.txt")));
  EXPECT_EQ(r.stats.passed, 2);
  EXPECT_EQ(r.stats.failed, 1);
}

TEST(UnZipRules, Deflate64ThenDeflateAndUnsupportedMethods) {
  TempDir tmp;
  std::string plain;
  Entry d64;
  d64.name = "d64.bin";
  d64.data = Deflate64Sample(plain);
  d64.method = 9;
  d64.crc = ziptest::Crc(plain);
  d64.usize = static_cast<int64_t>(plain.size());
  Entry asDeflate = d64;  // the same data as method 8: distance code 30 is invalid there
  asDeflate.name = "as8.bin";
  asDeflate.method = 8;
  Entry after = Plain("after.txt", testutil::TextBytes(70000, 6), true);
  Entry tokenized = Plain("m7.bin", "data");
  tokenized.method = 7;
  Entry m98 = Plain("m98.bin", "data");  // PPMd
  m98.method = 98;
  WriteFile(tmp.file("m.zip"), Build({d64, asDeflate, after, tokenized, m98}));
  ziptest::Report r = ziptest::Extract(tmp.file("m.zip"), tmp.file("out"));
  EXPECT_EQ(ReadFile(tmp.file("out/d64.bin")), plain);
  EXPECT_EQ(ReadFile(tmp.file("out/after.txt")), testutil::TextBytes(70000, 6));
  // As plain Deflate the stream reads differently and fails one way or the other.
  ASSERT_EQ(r.codes.size(), 3u);
  EXPECT_TRUE(r.codes[0] == zid::E_BADBLOCK || r.codes[0] == zid::E_READERROR) << r.codes[0];
  EXPECT_EQ(r.codes[1], zid::E_UNSUPPORTEDMETHOD);
  EXPECT_EQ(r.codes[2], zid::E_UNSUPPORTEDMETHOD);
  EXPECT_FALSE(plat::FileExists(tmp.file("out/m7.bin")));
  EXPECT_EQ(r.stats.passed, 2);
  EXPECT_EQ(r.stats.failed, 3);
}

TEST(UnZipRules, CancelDuringDecodeStopsTheOperation) {
  TempDir tmp;
  WriteFile(tmp.file("big.zip"), Build({Plain("a.bin", testutil::TextBytes(3000000, 7), true),
                                        Plain("b.txt", "never reached")}));
  ziptest::Report r = ziptest::Extract(tmp.file("big.zip"), tmp.file("out"), [](zid::TUnZip& u) {
    u.OnProgress = [](zid::TZipCommon* s, uint8_t byFile, uint8_t) {
      if (byFile > 10) s->SetCancel(true);
    };
  });
  EXPECT_LT(ReadFile(tmp.file("out/a.bin")).size(), 3000000u);
  EXPECT_FALSE(plat::FileExists(tmp.file("out/b.txt")));
}

// ---------------------------------------------------------------------------
// Hostile archives: each ends with a specific error, in bounded time and memory.

TEST(UnZipHostile, TruncatedAtEveryOffsetOfAGoodSample) {
  TempDir tmp;
  const std::string content = testutil::TextBytes(6000, 8);
  const std::string good = Build({Plain("a.txt", content, true), Plain("b.txt", "second")});
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    SCOPED_TRACE(cut);
    const std::string path = tmp.file("t" + std::to_string(cut) + ".zip");
    WriteFile(path, good.substr(0, cut));
    zid::TUnZip un;
    ziptest::Report r = ziptest::Extract(path, tmp.file("o" + std::to_string(cut)),
                                             [](zid::TUnZip& u) { u.OutputMode = zid::omTest; }, true, &un);
    // Whatever survives: never an entry passed with wrong or missing bytes.
    for (auto& [name, pass] : r.ends) EXPECT_TRUE(pass || name.empty());
    EXPECT_LE(r.stats.passed, 2);
  }
}

TEST(UnZipHostile, DeclaredSizesThatLie) {
  TempDir tmp;
  const std::string content = testutil::TextBytes(50000, 9);
  Entry zeroPacked = Plain("zero.txt", content, true);
  zeroPacked.data.clear();  // compressed size 0, uncompressed 50,000
  Entry huge = Plain("huge.txt", content, true);
  huge.usize = 0xFFFFFFFF;
  Entry small = Plain("small.txt", content, true);
  small.usize = 100;
  Entry storedShort = Plain("stored.txt", content);
  storedShort.usize = 0xFFFFFFF0;
  WriteFile(tmp.file("l.zip"), Build({zeroPacked, huge, small, storedShort}));
  ziptest::Report r = ziptest::Extract(tmp.file("l.zip"), tmp.file("out"));
  EXPECT_EQ(r.codes, (std::vector<int>{zid::E_READERROR, zid::E_CORRUPTINPUT, zid::E_CRCERROR, zid::E_READERROR}));
  // A failed entry leaves nothing behind, not even the part that decoded.
  for (const char* name : {"zero.txt", "huge.txt", "small.txt", "stored.txt"})
    EXPECT_FALSE(plat::FileExists(tmp.file(std::string("out/") + name))) << name;

  // 2^47 through the ID 100 field: bits 32..47 of the uncompressed size.
  Entry big = Plain("big.txt", content, true);
  big.centralExtra = std::string("\x64\x00\x06\x00\x00\x00\x00\x80\x00\x00", 10);
  WriteFile(tmp.file("b.zip"), Build({big}));
  r = ziptest::Extract(tmp.file("b.zip"), tmp.file("out2"));
  // 128 TiB cannot fit: refused before anything is written.
  EXPECT_EQ(r.codes, std::vector<int>{zid::E_DISKFULL});
}

TEST(UnZipHostile, OverlappingEntriesAreRefused) {
  TempDir tmp;
  const std::string content(1 << 20, 'A');  // compresses to ~1 KiB
  Entry first = Plain("first.txt", content, true);
  std::vector<Entry> entries{first};
  for (int i = 0; i < 50; ++i) {
    Entry again = first;  // another central record on the same local header
    again.name = "copy" + std::to_string(i) + ".txt";
    again.writeLocal = false;
    again.localOffset = 0;
    entries.push_back(again);
  }
  WriteFile(tmp.file("bomb.zip"), Build(entries));
  ziptest::Report r = ziptest::Extract(tmp.file("bomb.zip"), tmp.file("out"));
  EXPECT_EQ(r.stats.passed, 1);
  EXPECT_EQ(r.stats.failed, 50);
  ASSERT_EQ(r.codes.size(), 50u);
  for (int c : r.codes) EXPECT_EQ(c, zid::E_BADLOCALOFFSET);
  EXPECT_FALSE(plat::FileExists(tmp.file("out/copy0.txt")));

  // Data of one entry running over the next local header.
  Entry a = Plain("a.txt", "aaaa"), b = Plain("b.txt", "bbbb");
  a.csize = 40;
  a.usize = 4;
  WriteFile(tmp.file("ov.zip"), Build({a, b}));
  r = ziptest::Extract(tmp.file("ov.zip"), tmp.file("out2"));
  ASSERT_FALSE(r.codes.empty());
  EXPECT_EQ(r.codes[0], zid::E_BADLOCALOFFSET);
}

TEST(UnZipHostile, DirectoryCountsAndOffsetsPastTheEnd) {
  TempDir tmp;
  Entry far = Plain("far.txt", "x");
  far.localOffset = 0x7FFFFFF0;
  std::string zip = Build({Plain("ok.txt", "fine"), far});
  for (size_t k = 14; k > 10; --k) zip[zip.size() - k] = '\xFF';  // entries on this disk / total: 65,535
  WriteFile(tmp.file("c.zip"), zip);
  ziptest::Report r = ziptest::Extract(tmp.file("c.zip"), tmp.file("out"));
  EXPECT_EQ(ReadFile(tmp.file("out/ok.txt")), "fine");
  EXPECT_EQ(r.codes, (std::vector<int>{zid::E_BADFILEHEADER, zid::E_BADLOCALOFFSET}));  // the count, then far.txt
}

TEST(UnZipHostile, BadCompressedStreams) {
  TempDir tmp;
  auto make = [](const std::string& name, uint16_t method, uint16_t flags, const std::string& data) {
    Entry e;
    e.name = name;
    e.method = method;
    e.flags = flags;
    e.data = data;
    e.usize = 5000;
    return e;
  };
  // Deflate, dynamic block whose code-length code is over-subscribed.
  const std::string overSub("\x05\xE0\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10);
  // Stored block whose NLEN is not the complement of LEN.
  const std::string badNlen("\x01\x05\x00\x05\x00hello", 10);
  // Implode: literal tree whose counts do not add up to 256.
  const std::string badTree("\x00\x0F", 2);
  // Reduce: follower set of 63 entries (more than 32).
  const std::string bigFollowers(std::string(1, '\x3F') + std::string(80, '\x55'));
  // Shrink: control code 256 followed by 7.
  const std::string badControl("\x41\x00\x02\x0E\x00", 5);
  WriteFile(tmp.file("x.zip"), Build({make("d.bin", 8, 0, overSub), make("d64.bin", 9, 0, overSub),
                                      make("n.bin", 9, 0, badNlen), make("i.bin", 6, 4, badTree),
                                      make("r.bin", 2, 0, bigFollowers), make("s.bin", 1, 0, badControl)}));
  ziptest::Report r = ziptest::Extract(tmp.file("x.zip"), tmp.file("out"));
  EXPECT_EQ(r.stats.failed, 6);
  ASSERT_EQ(r.codes.size(), 6u);
  for (int c : r.codes) EXPECT_TRUE(c == zid::E_BADBLOCK || c == zid::E_READERROR) << c;
}

TEST(UnZipHostile, NamesThatClimbOutAreRefused) {
  TempDir tmp;
  WriteFile(tmp.file("n.zip"), Build({Plain("../evil.txt", "x"), Plain("/abs/evil2.txt", "y"),
                                      Plain("a/../../evil3.txt", "z"), Plain("fine.txt", "ok")}));
  ziptest::Report r = ziptest::Extract(tmp.file("n.zip"), tmp.file("box/out"));
  EXPECT_FALSE(plat::FileExists(tmp.file("box/evil.txt")));
  EXPECT_FALSE(plat::FileExists(tmp.file("evil.txt")));
  EXPECT_FALSE(plat::FileExists(tmp.file("box/evil3.txt")));
  EXPECT_FALSE(plat::FileExists(tmp.file("evil3.txt")));
  EXPECT_EQ(ReadFile(tmp.file("box/out/fine.txt")), "ok");
  for (int c : r.codes) EXPECT_EQ(c, zid::E_BADFILENAME);
}
