// RAR extraction: the corpus samples byte for byte against unar (or 7zz)
// (their listings are the walker suite's), and hand-made archives: a solid stream and
// the multimedia mode in RAR 2.0 bit streams written here (checked against
// the peer too), .partN.rar sets, damaged entries, and hostile input.
#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidRarHeader.h"
#include "engine/other/zidUnRar.h"
#include "platform/files.h"
#include "other_helpers.h"
#include "support/testutil.h"

using namespace othertest;
using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

constexpr int kBrokenVolumeChain = 25135;

// RAR 5: variable-length numbers, headers behind a CRC-32 and their size.
std::string Vint(uint64_t v) {
  std::string o;
  do {
    const uint8_t b = v & 0x7F;
    v >>= 7;
    o.push_back(static_cast<char>(v ? b | 0x80 : b));
  } while (v);
  return o;
}

std::string Header5(uint64_t type, uint64_t flags, const std::string& fields, const std::string& data = "") {
  const std::string body = Vint(type) + Vint(flags) + ((flags & 2) ? Vint(data.size()) : "") + fields;
  const std::string sized = Vint(body.size()) + body;
  std::string out;
  Put32(out, Crc32(sized));
  return out + sized + data;
}

// A RAR 5 file header: method 0 is stored.
std::string File5(const std::string& name, const std::string& data, unsigned method = 0) {
  std::string f = Vint(0x6) + Vint(data.size()) + Vint(0x20);
  Put32(f, 1600000000);
  Put32(f, Crc32(data));
  f += Vint(method << 7) + Vint(0) + Vint(name.size()) + name;
  return Header5(2, 2, f, data);
}

const std::string kMarker5("Rar!\x1A\x07\x01\x00", 8);

// ---- RAR 2.0 bit streams ----------------------------------------------------------

// MSB-first bits, as RAR reads them.
struct Bits {
  std::string out;
  uint32_t acc = 0;
  int n = 0;
  void Put(uint32_t v, int width) {
    for (int i = width - 1; i >= 0; --i) {
      acc = (acc << 1) | ((v >> i) & 1);
      if (++n == 8) {
        out.push_back(static_cast<char>(acc));
        acc = 0;
        n = 0;
      }
    }
  }
  std::string Done() {
    if (n > 0) Put(0, 8 - n);
    return out;
  }
};

// Tables where the symbols in `used` (ascending) all have 9-bit codes, so
// symbol used[i] is sent as the number i in 9 bits. Lengths go through a
// level table giving the 16 lengths and the zero run (18) 5-bit codes.
void Tables(Bits& b, bool audio, const std::vector<int>& used, unsigned size) {
  b.Put(audio ? 1 : 0, 1);
  b.Put(0, 1);  // no earlier tables to add to
  if (audio) b.Put(0, 2);  // one channel
  for (int i = 0; i < 19; ++i) b.Put(i == 16 || i == 17 ? 0 : 5, 4);
  // level codes: 0..15 are 0..15, 18 is 16 (canonical order)
  unsigned at = 0;
  auto zeros = [&](unsigned count) {
    while (count >= 11) {
      const unsigned run = std::min(count, 138u);
      b.Put(16, 5);
      b.Put(run - 11, 7);
      count -= run;
    }
    for (; count > 0; --count) b.Put(0, 5);
  };
  for (int s : used) {
    zeros(static_cast<unsigned>(s) - at);
    b.Put(9, 5);
    at = static_cast<unsigned>(s) + 1;
  }
  zeros(size - at);
}

std::vector<int> Literals(std::vector<int> extra = {}) {
  std::vector<int> v;
  for (int i = 0; i < 256; ++i) v.push_back(i);
  v.insert(v.end(), extra.begin(), extra.end());
  return v;
}

// ---- runs ------------------------------------------------------------------------

Report ExtractRar(const std::string& archive, const std::string& dir,
                  const std::function<void(zid::TUnRar&)>& setup = nullptr) {
  return Extract<zid::TUnRar>(archive, dir, setup);
}

// When unar (or 7zz) is installed: it extracts the archive to peer/ and the tree is `ours`, byte for byte.
void ExpectAsPeer(const TempDir& d, const std::string& archive, const std::string& ours) {
  const std::string out = ShellQuote(d.file("peer"));
  std::string cmd;
  if (testutil::HaveTool("unar")) cmd = "unar -q -D -o " + out + " " + ShellQuote(archive);
  else if (testutil::HaveTool("7zz")) cmd = "7zz x -y -o" + out + " " + ShellQuote(archive);
  else return;
  EXPECT_EQ(testutil::Run(cmd + " >/dev/null 2>&1"), 0) << cmd;
  EXPECT_EQ(testutil::Run("diff -r " + out + " " + ShellQuote(ours) + " >/dev/null 2>&1"), 0) << archive;
}

bool HasExtra(const Report& r, const std::string& part) {
  for (const std::string& e : r.extras)
    if (e.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

// ---- the corpus ----------------------------------------------------------------------

TEST(RarCorpus, EverySampleExtractsAsThePeerDoes) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    int passed;
    int failed;  // refused by name: RAR 3 compression, encryption
  };
  const Case cases[] = {
      {"libarchive__basic.rar", 5, 0},       {"libarchive__noeof.rar", 1, 0},
      {"libarchive__subblock.rar", 1, 0},    {"libarchive__windows.rar", 5, 0},
      {"libarchive__unicode.rar", 5, 1},     {"libarchive__sfx.exe", 4, 1},
      {"libarchive__rar5_stored.rar", 1, 0}, {"libarchive__encryption_data.rar", 0, 2},
      {"patool__t.rar", 1, 1},               {"patool__p.rar", 1, 1},
      {"sharpcompress__Rar15.rar", 5, 0},    {"sharpcompress__Rar2.rar", 5, 0},
      {"sharpcompress__Rar2.multi.rar", 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir + "/rar/" + c.file;
    TempDir d;
    const Report r = ExtractRar(path, d.file("out"), [](zid::TUnRar& u) { u.CreateStoredDirs = true; });
    EXPECT_EQ(r.stats.passed, c.passed) << r.text;
    EXPECT_EQ(r.stats.failed, c.failed) << r.text;
    if (c.failed == 0) ExpectAsPeer(d, path, d.file("out"));
  }
  // the refusals name the version
  const Report t = ExtractRar(dir + "/rar/patool__t.rar", "");
  EXPECT_TRUE(HasExtra(t, "version 2.9")) << t.text;
  const Report p = ExtractRar(dir + "/rar/libarchive__encryption_header.rar", "");
  EXPECT_TRUE(p.Has(zid::E_PASSWORDPROTECTED));
  EXPECT_TRUE(p.stats.archiveFailed);
}

// A damaged entry fails its CRC; the entries after it in a non-solid archive still come out.
TEST(RarCorpus, ADamagedEntryFailsAndTheRestComeOut) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  TempDir d;
  std::string rar = ReadFile(dir + "/rar/sharpcompress__Rar2.rar");
  rar[rar.size() - 2706 - 38952 + 20000] ^= 0x10;  // inside jpg/test.jpg's data
  WriteFile(d.file("t.rar"), rar);
  const Report r = ExtractRar(d.file("t.rar"), d.file("out"));
  EXPECT_EQ(r.stats.failed, 1) << r.text;
  EXPECT_EQ(r.stats.passed, 4) << r.text;
  EXPECT_EQ(ReadFile(d.file("out/тест.txt")).size(), 15498u);
}

// ---- hand-made streams ------------------------------------------------------------------

// A solid archive: the second entry's matches reach into the first entry's
// output and its Huffman tables are the first entry's; the peer agrees.
// Tables for the next entry may also close an entry's data (symbol 269 after
// its last byte), which unrar and 7-Zip read and unar 1.10 does not: that
// archive is checked by its CRCs alone.
TEST(RarStreams, SolidEntriesContinueOneStream) {
  for (const bool endTables : {false, true}) {
    SCOPED_TRACE(endTables ? "tables at the end of the first entry" : "one set of tables");
    Bits a;
    Tables(a, false, Literals({261, 269}), 374);
    for (char c : std::string("abc")) a.Put(static_cast<uint8_t>(c), 9);
    if (endTables) {
      a.Put(257, 9);  // 269: new tables, where 256 stands for 256 and 257 for 261
      Tables(a, false, Literals({256, 261}), 374);
    }
    Bits b;
    b.Put(endTables ? 257 : 256, 9);  // 261: a short match, length 2, distance 3 (code 0, two bits 2)
    b.Put(2, 2);
    b.Put('!', 9);
    const std::string first = a.Done(), second = b.Done();
    TempDir d;
    WriteFile(d.file("s.rar"), RarHead(0x0008) + RarFile({"one.txt", first, "abc", 0, 20, 0x33}) +
                                   RarFile({"two.txt", second, "ab!", 0x0010, 20, 0x33}) + RarEnd());
    const Report r = ExtractRar(d.file("s.rar"), d.file("out"));
    EXPECT_EQ(r.stats.passed, 2) << r.text;
    EXPECT_EQ(ReadFile(d.file("out/two.txt")), "ab!");
    if (!endTables) ExpectAsPeer(d, d.file("s.rar"), d.file("out"));
    // the second alone still decodes through the first (not selected, not written)
    TempDir d2;
    const Report only =
        ExtractRar(d.file("s.rar"), d2.file("out"), [](zid::TUnRar& u) { u.FileSpec = {"two.txt"}; });
    EXPECT_EQ(only.stats.passed, 1) << only.text;
    EXPECT_EQ(ReadFile(d2.file("out/two.txt")), "ab!");
    EXPECT_FALSE(plat::FileExists(d2.file("out/one.txt")));
  }
}

// The multimedia mode: each byte is a prediction error; the peer decodes the same bytes.
TEST(RarStreams, AudioModeDecodesAsThePeerDoes) {
  Bits a;
  Tables(a, true, Literals({256}), 257);
  std::string deltas;
  for (int i = 0; i < 300; ++i) deltas.push_back(static_cast<char>((i * 7) % 11 - 5));
  for (char c : deltas) a.Put(static_cast<uint8_t>(c), 9);
  TempDir d;
  // the CRC is not known before decoding: take it from the first run
  RarFileSpec f{"wave.raw", a.Done(), std::string(300, '\0'), 0, 20, 0x33};
  WriteFile(d.file("a.rar"), RarHead() + RarFile(f) + RarEnd());
  const Report first = ExtractRar(d.file("a.rar"), d.file("out"), [](zid::TUnRar& u) { u.KeepFailedFiles = true; });
  const std::string decoded = ReadFile(d.file("out/wave.raw"));
  ASSERT_EQ(decoded.size(), 300u) << first.text;
  f.crc = Crc32(decoded);
  WriteFile(d.file("a.rar"), RarHead() + RarFile(f) + RarEnd());
  TempDir d2;
  const Report r = ExtractRar(d.file("a.rar"), d2.file("out"));
  EXPECT_EQ(r.stats.passed, 1) << r.text;
  ExpectAsPeer(d2, d.file("a.rar"), d2.file("out"));
}

// ---- volumes ------------------------------------------------------------------------------

// A .partN.rar set: an entry in three parts, each part checked by the CRC of its packed bytes.
TEST(RarVolumes, NewNumberingSetsAreFollowed) {
  TempDir d;
  const uint16_t vol = 0x0001 | 0x0010;
  const std::string whole = "first part|second part|third";
  auto part = [&](const std::string& data, uint16_t flags) {
    RarFileSpec f{"big.txt", data, whole, flags};
    if (flags & 0x0002) f.crc = Crc32(data);
    return RarFile(f);
  };
  WriteFile(d.file("set.part1.rar"), RarHead(vol) + RarStored("a.txt", "A") + part("first part|", 0x0002) + RarEnd(1));
  WriteFile(d.file("set.part2.rar"), RarHead(vol) + part("second part|", 0x0003) + RarEnd(1));
  WriteFile(d.file("set.part3.rar"), RarHead(vol) + part("third", 0x0001) + RarStored("z.txt", "Z") + RarEnd());
  const Report r = ExtractRar(d.file("set.part1.rar"), d.file("out"));
  EXPECT_EQ(r.stats.passed, 3) << r.text;
  EXPECT_EQ(ReadFile(d.file("out/big.txt")), whole);
  EXPECT_EQ(ReadFile(d.file("out/z.txt")), "Z");
  ExpectAsPeer(d, d.file("set.part1.rar"), d.file("out"));
  EXPECT_EQ(zid::RarNextVolumeName("/x/set.part9.rar", true), "/x/set.part10.rar");
  EXPECT_EQ(zid::RarNextVolumeName("/x/set.r99", false), "/x/set.s00");
  EXPECT_EQ(zid::RarNextVolumeName("/x/SET.RAR", false), "/x/SET.R00");

  // a part whose packed bytes were changed fails the entry, the others pass
  std::string second = ReadFile(d.file("set.part2.rar"));
  second[second.find("second")] = 'S';
  WriteFile(d.file("set.part2.rar"), second);
  const Report bad = ExtractRar(d.file("set.part1.rar"), "");
  EXPECT_EQ(bad.stats.failed, 1) << bad.text;
  EXPECT_EQ(bad.stats.passed, 2) << bad.text;

  // without its middle volume the set is read on past it: only the entry in it fails
  plat::DeleteFile(d.file("set.part2.rar"));
  const Report gap = ExtractRar(d.file("set.part1.rar"), d.file("gap"));
  EXPECT_EQ(gap.stats.failed, 1) << gap.text;
  EXPECT_EQ(gap.stats.passed, 2) << gap.text;
  EXPECT_EQ(gap.errors, std::vector<int>{zid::E_FILENOTFOUND}) << gap.text;
  EXPECT_TRUE(HasExtra(gap, "the volume set.part2.rar of the set is missing")) << gap.text;
  EXPECT_EQ(ReadFile(d.file("gap/z.txt")), "Z");
  EXPECT_FALSE(plat::FileStat(d.file("gap/big.txt")).exists);
}

// ---- hostile input -------------------------------------------------------------------------

TEST(RarHostile, DamagedStreamsEndWithASpecificError) {
  struct Case {
    const char* what;
    std::string archive;
    const char* extra;  // part of the reported text
  };
  // a level table of nineteen 1-bit codes
  Bits over;
  over.Put(0, 2);
  for (int i = 0; i < 19; ++i) over.Put(1, 4);
  // a match two bytes back when one byte was written (the stream's first entry)
  Bits early;
  Tables(early, false, Literals({261}), 374);
  early.Put('x', 9);
  early.Put(256, 9);
  early.Put(1, 2);
  // a solid entry whose match reaches past the whole stream before it
  Bits one;
  Tables(one, false, Literals({261}), 374);
  one.Put('y', 9);
  Bits two;
  two.Put(256, 9);
  two.Put(3, 2);
  const Case cases[] = {
      {"overflowing Huffman table", RarHead() + RarFile({"h.bin", over.Done() + std::string(64, '\0'), "data", 0, 20, 0x33}) + RarEnd(),
       "more codes than its lengths allow"},
      {"match before the start", RarHead() + RarFile({"m.bin", early.Done(), "xx?", 0, 20, 0x33}) + RarEnd(),
       "before the start of the data"},
      {"solid match before the start", RarHead(0x0008) + RarFile({"y.bin", one.Done(), "y", 0, 20, 0x33}) +
           RarFile({"z.bin", two.Done(), "yy", 0x0010, 20, 0x33}) + RarEnd(),
       "4 bytes back, before the start"},
      {"RAR 1.5 match before the start", RarHead() + RarFile({"o.bin", std::string(16, '\xFF'), "0123456789", 0, 15, 0x33}) + RarEnd(),
       "before the start of the data"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("h.rar"), c.archive);
    const Report r = ExtractRar(d.file("h.rar"), d.file("out"));
    EXPECT_GE(r.stats.failed, 1) << r.text;
    EXPECT_TRUE(r.Has(zid::E_BADBLOCK)) << r.text;
    EXPECT_TRUE(HasExtra(r, c.extra)) << r.text;
  }
}

TEST(RarHostile, HeadersAndVolumeChainsEndCleanly) {
  TempDir d;
  // a file header whose CRC does not match is refused; the next entry still comes out
  std::string bad = RarStored("a.txt", "AAAA");
  bad[0] ^= 1;
  WriteFile(d.file("c.rar"), RarHead() + bad + RarStored("b.txt", "BB") + RarEnd());
  const Report c = ExtractRar(d.file("c.rar"), d.file("out"));
  EXPECT_TRUE(c.Has(zid::E_BADFILEHEADER)) << c.text;
  EXPECT_EQ(ReadFile(d.file("out/b.txt")), "BB");

  // a volume chain that leads back to its first volume
  WriteFile(d.file("v.rar"), RarHead(1) + RarStored("A", "first") + RarFile({"S", "12", "1234", 0x0002}));
  WriteFile(d.file("v.r00"), RarHead(1) + RarFile({"S", "34", "1234", 0x0003}));
  auto loop = [&](zid::TZipCommon*, std::string& name, int, bool, bool&) {
    if (name.find("r01") != std::string::npos) name = d.file("v.rar");
  };
  const Report r = ExtractRar(d.file("v.rar"), "", [&](zid::TUnRar& u) { u.OnNextVolume = loop; });
  EXPECT_TRUE(r.Has(kBrokenVolumeChain)) << r.text;
  EXPECT_EQ(r.stats.passed, 1) << r.text;

  // a next volume that does not continue the entry
  WriteFile(d.file("v.r00"), RarHead(1) + RarStored("other", "34"));
  const Report w = ExtractRar(d.file("v.rar"), "");
  EXPECT_TRUE(w.Has(kBrokenVolumeChain)) << w.text;
  EXPECT_TRUE(HasExtra(w, "does not continue")) << w.text;
}

// RAR 5: stored entries come out, compressed ones are refused naming the
// version, encrypted headers are said so.
TEST(RarFive, StoredEntriesExtractAndTheRestIsRefusedByName) {
  TempDir d;
  WriteFile(d.file("r5.rar"), kMarker5 + Header5(1, 0, Vint(0)) + File5("a.txt", "stored in RAR 5\n") +
                                  File5("b.bin", "0123456789", 3) + Header5(5, 0, Vint(0)));
  const Report r = ExtractRar(d.file("r5.rar"), d.file("out"));
  EXPECT_EQ(r.stats.passed, 1) << r.text;
  EXPECT_EQ(r.stats.failed, 1) << r.text;
  EXPECT_EQ(ReadFile(d.file("out/a.txt")), "stored in RAR 5\n");
  EXPECT_TRUE(HasExtra(r, "RAR 5 (archive format 5.0)")) << r.text;
  const Listing l = List(d.file("r5.rar"));
  ASSERT_EQ(l.entries.size(), 2u);
  EXPECT_EQ(l.entries[1].name, "b.bin");
  EXPECT_EQ(l.entries[1].unpacked, 10);

  WriteFile(d.file("e5.rar"), kMarker5 + Header5(4, 0, Vint(0) + Vint(0) + std::string(16, 'k')));
  const Report e = ExtractRar(d.file("e5.rar"), "");
  EXPECT_TRUE(e.Has(zid::E_PASSWORDPROTECTED)) << e.text;
  EXPECT_TRUE(HasExtra(e, "the headers are encrypted")) << e.text;
  EXPECT_EQ(List(d.file("e5.rar")).errors, std::vector<int>{zid::E_PASSWORDPROTECTED});
}
