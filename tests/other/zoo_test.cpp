// ZOO extraction and listing: the corpus samples with their CRC verdicts,
// archives built here (stored, LZW with table clears), deleted entries, and
// hostile directory chains and code streams.
#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidUnZoo.h"
#include "other_helpers.h"
#include "support/testutil.h"

using namespace othertest;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

TEST(ZooCorpus, EverySampleHasItsVerdictAndItsListing) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    int passed;
    int failed;
    std::vector<std::pair<std::string, int64_t>> listed;  // as lsar lists them
  };
  const Case cases[] = {
      {"patool__t.zoo", 2, 0, {{"t.txt", 2}, {"t2.txt", 2}}},
      {"troglobit__sample.zoo", 1, 0, {{"readme", 7972}}},
      {"unarc__default.zoo", 1, 0, {{"license", 11357}}},
      {"unarc__high_per.zoo", 1, 0, {{"../license", 11357}}},
      {"unarc__store.zoo", 1, 0, {{"../license", 11357}}},
      {"unarc__wrongcrc16.zoo", 0, 1, {{"../license", 11357}}},
  };
  std::string license;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir + "/zoo/" + c.file;
    TempDir d;
    const Report r = Extract<zid::TUnZoo>(path, d.file("out"));
    EXPECT_EQ(r.stats.passed, c.passed);
    EXPECT_EQ(r.stats.failed, c.failed);
    EXPECT_TRUE(r.errors.empty() == (c.failed == 0));
    if (c.failed) {
      EXPECT_TRUE(r.Has(zid::E_CRCERROR));
    }
    // the stored, LZW and LZH samples hold the same file; a climbing folder stays inside the target
    if (c.passed && c.listed[0].second == 11357) {
      const std::string got = ReadFile(d.file("out/license"));
      EXPECT_EQ(got.size(), 11357u);
      if (license.empty()) license = got;
      EXPECT_TRUE(got == license);
    }
    const Listing l = List(path);
    std::vector<std::pair<std::string, int64_t>> ours;
    for (const Listed& e : l.entries) ours.emplace_back(e.name, e.unpacked);
    EXPECT_EQ(ours, c.listed);
    EXPECT_EQ(l.totalFiles, static_cast<int>(c.listed.size()));
    for (size_t i = 0; i < l.entries.size(); ++i) EXPECT_EQ(l.entries[i].filenum, static_cast<int>(i + 1));
  }
}

TEST(ZooBuilt, StoredAndLzwEntriesRoundTrip) {
  const std::string text = testutil::TextBytes(200000, 3);
  const std::string random = testutil::RandomBytes(60000, 4);  // fills the table: the encoder clears
  std::vector<ZooFile> files = {
      {"EMPTY", ZooLzwEncode(""), "", 1},
      {"STORED.BIN", random, random, 0},
      {"TEXT.TXT", ZooLzwEncode(text), text, 1},
      {"RANDOM.BIN", ZooLzwEncode(random), random, 1},
      {"CLEARS.TXT", ZooLzwEncode(text, true, 7), text, 1},
      {"OLD.TXT", "gone", "gone", 0, true},  // deleted: neither listed nor extracted
  };
  TempDir d;
  WriteFile(d.file("b.zoo"), ZooArchive(files));
  const Report r = Extract<zid::TUnZoo>(d.file("b.zoo"), d.file("out"));
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.stats.passed, 5);
  for (size_t i = 0; i + 1 < files.size(); ++i)
    EXPECT_TRUE(ReadFile(d.file("out/" + files[i].name)) == files[i].original) << files[i].name;
  EXPECT_NE(testutil::Run("test -e " + testutil::ShellQuote(d.file("out/OLD.TXT"))), 0);
  const Listing l = List(d.file("b.zoo"));
  ASSERT_EQ(l.entries.size(), 5u);
  EXPECT_EQ(l.entries[2].name, "TEXT.TXT");
  EXPECT_EQ(l.entries[2].unpacked, 200000);
  EXPECT_EQ(l.entries[2].packed, static_cast<int64_t>(files[2].packed.size()));
}

TEST(ZooHostile, ChainsAndCodeStreamsEndWithAClearError) {
  const std::string text = testutil::TextBytes(3000, 5);
  const std::string random = testutil::RandomBytes(40000, 6);
  auto two = [&](const std::map<int, uint32_t>& next) {
    return ZooArchive({{"A.TXT", text, text, 0}, {"B.TXT", text, text, 0}}, next);
  };
  // the second entry starts right after the first one's data
  const uint32_t second = 42 + 58 + static_cast<uint32_t>(text.size());
  struct Case {
    const char* what;
    std::string archive;
    int code;
    int passed;
  };
  std::string lzwCorrupt = ZooLzwEncode(text);
  lzwCorrupt[3] = '\xFF';  // a code far past the next free one
  const Case cases[] = {
      {"next pointer at itself", two({{1, second}}), zid::E_BADFILEHEADER, 2},
      {"next pointer backwards", two({{1, 42}}), zid::E_BADFILEHEADER, 2},
      {"next pointer past the end", two({{0, 0x7FFFFFF0u}}), zid::E_BADFILEHEADER, 1},
      {"wrong tag", two({{0, second + 5}}), zid::E_BADFILEHEADER, 1},
      {"LZW table full without a clear", ZooArchive({{"R", ZooLzwEncode(random, false), random, 1}}),
       zid::E_BADBLOCK, 0},
      {"LZW code never defined", ZooArchive({{"C", lzwCorrupt, text, 1}}), zid::E_BADBLOCK, 0},
      {"LZW data cut short", ZooArchive({{"S", ZooLzwEncode(text).substr(0, 100), text, 1}}), zid::E_READERROR, 0},
      {"LZH data cut short", ZooArchive({{"H", std::string("\x00\x10\x00", 3), text, 2}}), zid::E_READERROR, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("h.zoo"), c.archive);
    const Report r = Extract<zid::TUnZoo>(d.file("h.zoo"), "");
    EXPECT_TRUE(r.Has(c.code));
    EXPECT_EQ(r.stats.passed, c.passed);
    const Listing l = List(d.file("h.zoo"));
    EXPECT_LE(l.entries.size(), 2u);
  }
  // random directory bytes and random code streams end without a hang or crash
  for (uint32_t seed = 1; seed <= 16; ++seed) {
    TempDir d;
    std::string a = ZooArchive({{"X", testutil::RandomBytes(2000, seed), text, static_cast<uint8_t>(seed % 3)}});
    WriteFile(d.file("r.zoo"), a);
    EXPECT_EQ(Extract<zid::TUnZoo>(d.file("r.zoo"), "").stats.passed, 0);
    for (size_t i = 42; i < 100; i += 7) a[i] = static_cast<char>(seed * i);
    WriteFile(d.file("r.zoo"), a);
    Extract<zid::TUnZoo>(d.file("r.zoo"), "");
    List(d.file("r.zoo"));
  }
}
