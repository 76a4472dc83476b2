// BH archives: no peer reads or writes them, so the checks are the exact
// header layout our writer produces, round trips through our extractor and
// directory reader, and hand-made entries for what our writer never makes
// (Fused1, method 2, archives of old versions, damaged and hostile entries).
#include <gtest/gtest.h>

#include <filesystem>

#include "bh_helpers.h"
#include "engine/base/Err_Msgs.h"
#include "engine/lha/zidLhaPack.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "support/memory_decode.h"
#include "support/raw_deflate.h"

using namespace zid;
using namespace bhtest;

namespace {

struct Layout {
  const char* label;
  TCompressMethod method;
  TDeflateType level;
  const char* password;
  uint8_t textMethod;  // what a compressible file gets
  uint8_t textFlags;
};

const Layout kLayouts[] = {
    {"store", cmStore, dtDeflateN, "", 0, 0},       {"deflate", cmDeflate, dtDeflateN, "", 8, 0},
    {"deflateMax", cmDeflate, dtDeflateX, "", 8, 2}, {"fuse", cmFuse, dtDeflateX, "", 3, 0},
    {"storePw", cmStore, dtDeflateN, "pw", 0, 1},    {"deflatePw", cmDeflate, dtDeflateF, "pw", 8, 5},
    // Encrypted Fused3 entries carry the Deflate level bits as well.
    {"fusePw", cmFuse, dtDeflateX, "pw", 3, 3},
};

std::string Fused(const std::string& in, const TLzhEncodeParams& params) {
  std::string out;
  size_t pos = 0;
  TLzhEncodeJob job;
  job.read = testutil::MemoryReader(in, pos);
  job.write = [&](const uint8_t* buf, int64_t n) {
    out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    return true;
  };
  TLzhEncoder enc(params);
  EXPECT_EQ(enc.Encode(job), erOk);
  return out;
}

uint32_t DosDateOf(const std::string& path) { return plat::UnixToDosDateTime(plat::FileStat(path).mtime); }

}  // namespace

class BhLayout : public ::testing::TestWithParam<Layout> {};

TEST_P(BhLayout, HeadersHoldEveryFieldAndTheArchiveEndsWithItsLastEntry) {
  const Layout& m = GetParam();
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("out.bh");
  TBlakHole w;
  Quiet(w);
  w.SetCompressMethod(m.method);
  w.DeflateType = m.level;
  w.Password = m.password;
  w.RecurseDirs = true;
  w.StoreEmptySubDirs = true;
  std::filesystem::create_directories(src + "/empty");
  w.FileSpec = {src + "/*"};
  w.SetArchiveFile(arc);
  ASSERT_EQ(w.Compress(), kTreeFiles + 1);

  const std::vector<Entry> es = Entries(arc);  // fails when any byte lies outside an entry
  ASSERT_EQ(es.size(), static_cast<size_t>(kTreeFiles + 1));
  const bool pw = *m.password != 0;
  for (const Entry& e : es) {
    const uint8_t* h = e.h();
    EXPECT_EQ(e.head.substr(0, 4), std::string("BH\x05\x07", 4)) << e.name;
    EXPECT_EQ(Get16(h + 4), 37 + e.name.size()) << e.name;
    EXPECT_EQ(h[6], 37);
    EXPECT_EQ(h[7], 6);
    EXPECT_EQ(h[8], 8);
    EXPECT_EQ(Get32(h + 29), 0u);
    EXPECT_EQ(Get16(h + 35), 0);
    const bool folder = e.name == "empty\\";
    EXPECT_EQ(Get16(h + 27) & 0x10, folder ? 0x10 : 0) << e.name;
    std::string rel = e.name;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    const std::string path = src + "/" + rel;
    const std::string file = folder ? "" : testutil::ReadFile(path);
    EXPECT_EQ(e.original(), file.size()) << e.name;
    EXPECT_EQ(e.crc(), file.empty() ? 0u : Crc32(file)) << e.name;
    EXPECT_EQ(Get32(h + 11), DosDateOf(path)) << e.name;
    // Empty files and folders: stored, never encrypted.
    const bool enc = pw && !file.empty();
    EXPECT_EQ(e.flags() & 1, enc ? 1 : 0) << e.name;
    if (e.method() == 0) {
      EXPECT_EQ(e.packed(), file.size() + (enc ? 12 : 0)) << e.name;
    }
  }
  const Entry* text = Find(es, "text.txt");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->method(), m.textMethod);
  EXPECT_EQ(text->flags(), m.textFlags);
  // Random data: the Fused step stores what does not shrink; the Deflate step (as ZIP's) only files below 257 bytes.
  EXPECT_EQ(Find(es, "random.bin")->method(), m.method == cmDeflate ? 8 : 0);
  EXPECT_EQ(Find(es, "one.txt")->method(), 0);
  EXPECT_EQ(Find(es, "notes.zip")->method(), m.method == cmFuse ? 3 : 0);  // the store list is the Deflate step's
  EXPECT_NE(Find(es, "sub\\caf\xC3\xA9 \xE2\x82\xAC.txt"), nullptr);       // UTF-8 bytes, "\" between folders
  EXPECT_EQ(Find(es, "zero.dat")->flags(), 0);
}

INSTANTIATE_TEST_SUITE_P(All, BhLayout, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.label); });

class BhRoundTrip : public ::testing::TestWithParam<Layout> {};

TEST_P(BhRoundTrip, EveryFileComesBackAndTheListingAgreesWithTheHeaders) {
  const Layout& m = GetParam();
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("out.bh");
  ASSERT_EQ(Build(arc, src, m.method, m.password), kTreeFiles);

  const Report rep = Extract(arc, tmp.file("out"), m.password);
  EXPECT_EQ(rep.text, "");
  EXPECT_EQ(rep.stats.passed, kTreeFiles);
  EXPECT_EQ(Files(tmp.file("out")), Files(src));
  EXPECT_EQ(Extract(arc, "", m.password).stats.passed, kTreeFiles);

  const std::vector<Entry> es = Entries(arc);
  const std::vector<Listed> ls = List(arc);
  ASSERT_EQ(ls.size(), es.size());
  for (size_t i = 0; i < es.size(); ++i) {
    std::string name = es[i].name;
    std::replace(name.begin(), name.end(), '\\', '/');
    EXPECT_EQ(ls[i].name, name);
    EXPECT_EQ(ls[i].encrypted, (es[i].flags() & 1) != 0);
    EXPECT_EQ(ls[i].packed, es[i].packed() - (ls[i].encrypted ? 12 : 0)) << name;
    EXPECT_EQ(ls[i].unpacked, es[i].original());
    const char* expected = es[i].method() == 0 ? "Stored" : es[i].method() == 3 ? "Fused3" : nullptr;
    if (expected) {
      EXPECT_EQ(ls[i].method, expected) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, BhRoundTrip, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.label); });

// Entries our writer never makes, each extracted alone.
TEST(BhExtract, MethodsAndKeyRulesOfOtherWriters) {
  const std::string plain = testutil::TextBytes(90000, 7) + Repetitive(30000);
  const TLzhEncodeParams fused1{13, 4, ckCrc32};
  const std::string f1 = Fused(plain, fused1), f3 = Fused(plain, kLzhEncFused3), d = testutil::RawDeflate(plain, 9);
  // Fused3 data of other writers may reach 32 KiB back (15 dictionary bits).
  const std::string block = testutil::RandomBytes(30000, 8), far = block + "-" + block;
  const std::string f3far = Fused(far, TLzhEncodeParams{15, 5, ckCrc32});
  ASSERT_LT(f3far.size(), 40000u);
  struct Case {
    const char* label;
    Raw raw;
  };
  const Case cases[] = {
      {"Fused1", {"a", 1, 0, 6, f1, plain}},
      {"Fused1 encrypted", {"a", 1, 1, 6, Encipher(f1, plain, "pw"), plain}},
      {"method 2 is Deflate", {"a", 2, 0, 6, d, plain}},
      {"method 2 encrypted", {"a", 2, 1, 6, Encipher(d, plain, "pw"), plain}},
      // Made by version 2: keys start afresh from the password; stored data are not enciphered.
      {"made-by 2 Fused3", {"a", 3, 1, 2, Encipher(f3, plain, "pw", true), plain}},
      {"made-by 2 Deflate", {"a", 8, 1, 2, Encipher(d, plain, "pw", true), plain}},
      {"made-by 2 stored", {"a", 0, 1, 2, Encipher("", plain, "pw") + plain, plain}},
      {"made-by 3 stored", {"a", 0, 1, 3, Encipher(plain, plain, "pw"), plain}},
      {"Fused3 32 KiB back", {"a", 3, 0, 6, f3far, far}},
  };
  for (const Case& c : cases) {
    testutil::TempDir tmp;
    testutil::WriteFile(tmp.file("x.bh"), RawEntry(c.raw));
    const Report rep = Extract(tmp.file("x.bh"), tmp.file("out"), "pw");
    EXPECT_EQ(rep.text, "") << c.label;
    EXPECT_EQ(rep.stats.passed, 1) << c.label;
    EXPECT_EQ(testutil::ReadFile(tmp.file("out/a")), c.raw.original) << c.label;
  }
}

// Damaged and hostile archives: a clear error for what is wrong, the rest still extracted.
TEST(BhExtract, DamagedArchivesFailOnlyWhereTheyAreDamaged) {
  const std::string good = RawEntry({"good.txt", 0, 0, 6, "hello", "hello"});
  Raw badCrc{"crc.txt", 0, 0, 6, "hello", "hellO"};
  Raw longName{"long", 0, 0, 6, "skipped", "skipped"};
  longName.nameLength = 300;
  const std::string deflated = testutil::RawDeflate("some text some text", 9);
  const std::string full = RawEntry({"cut.txt", 8, 0, 6, deflated, "some text some text"});
  struct Case {
    const char* label;
    std::string bytes;
    int passed, failed, error;  // error 0: none
  };
  const Case cases[] = {
      {"unknown method", RawEntry({"m5.txt", 5, 0, 6, "xx", "xx"}) + good, 1, 1, E_UNSUPPORTEDMETHOD},
      {"encryption header cut short", RawEntry({"e.txt", 0, 1, 6, "short", "x"}) + good, 1, 1, E_BADFILEHEADER},
      {"checksum", RawEntry(badCrc) + good, 1, 1, E_CRCERROR},
      {"corrupt Deflate", RawEntry({"d.txt", 8, 0, 6, std::string(20, '\xFF'), "abc"}) + good, 1, 1, E_BADBLOCK},
      {"name of 256 bytes or more: not taken", RawEntry(longName) + good, 1, 0, 0},
      {"junk after the last entry", good + "not a header at all, just junk bytes here", 1, 0, 0},
      {"data cut short", good + full.substr(0, full.size() - 5), 1, 1, E_READERROR},
      {"header cut short", good + full.substr(0, 20), 1, 0, E_READERROR},
  };
  for (const Case& c : cases) {
    testutil::TempDir tmp;
    testutil::WriteFile(tmp.file("x.bh"), c.bytes);
    const Report rep = Extract(tmp.file("x.bh"), tmp.file("out"));
    EXPECT_EQ(rep.stats.passed, c.passed) << c.label << "\n" << rep.text;
    EXPECT_EQ(rep.stats.failed, c.failed) << c.label << "\n" << rep.text;
    if (c.error != 0) {
      EXPECT_TRUE(rep.Has(c.error)) << c.label << "\n" << rep.text;
    }
    if (c.error == 0) {
      EXPECT_EQ(rep.text, "") << c.label;
    }
    EXPECT_EQ(testutil::ReadFile(tmp.file("out/good.txt")), "hello") << c.label;
  }
}

TEST(BhExtract, AWrongPasswordWritesNothing) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  ASSERT_EQ(Build(tmp.file("x.bh"), src, cmFuse, "right"), kTreeFiles);
  const Report rep = Extract(tmp.file("x.bh"), tmp.file("out"), "wrong");
  // Only the empty file, which is never encrypted, comes out. (About one wrong
  // password in 256 passes an entry's header check; its checksum then fails.)
  EXPECT_EQ(rep.stats.passed, 1);
  EXPECT_EQ(rep.stats.failed, kTreeFiles - 1);
  EXPECT_GE(rep.stats.encrypted, kTreeFiles - 3);
  EXPECT_EQ(Files(tmp.file("out")), (std::vector<std::pair<std::string, std::string>>{{"zero.dat", ""}}));
  EXPECT_FALSE(rep.errors.empty());
}

TEST(BhListing, EncryptedEntriesAreListedWithoutTheirTwelveByteHeader) {
  testutil::TempDir tmp;
  // Stored sizes of 12 or more lose the encryption header; shorter ones are shown as they are.
  testutil::WriteFile(tmp.file("x.bh"), RawEntry({"a", 3, 1, 6, std::string(20, 'x'), "abc"}) +
                                            RawEntry({"b", 8, 3, 6, std::string(5, 'x'), "abc"}) +
                                            RawEntry({"c", 2, 0, 6, "xyz", "abc"}) +
                                            RawEntry({"d", 1, 0, 6, "xyz", "abc"}) +
                                            RawEntry({"caf\x82", 0, 0, 6, "abc", "abc"}));  // not UTF-8: CP437
  const std::vector<Listed> ls = List(tmp.file("x.bh"));
  ASSERT_EQ(ls.size(), 5u);
  EXPECT_EQ(ls[4].name, "caf\xC3\xA9");
  EXPECT_EQ(ls[0].packed, 8);
  EXPECT_EQ(ls[0].method, "Fused3");
  EXPECT_EQ(ls[1].packed, 5);
  EXPECT_EQ(ls[1].method, "DeflateX");
  EXPECT_EQ(ls[2].method, "Deflate");
  EXPECT_EQ(ls[3].method, "Fused1");
}

// Updating an archive: kept entries are copied byte for byte, renamed ones keep their data, deleted ones go.
TEST(BhWriter, UpdatesCopyRenameAndDeleteEntries) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("x.bh");
  ASSERT_EQ(Build(arc, src, cmFuse, "pw"), kTreeFiles);
  const std::vector<Entry> before = Entries(arc);

  // The same name again with other content: the old entry is renamed.
  testutil::WriteFile(tmp.file("new/one.txt"), "changed");
  TBlakHole w;
  Quiet(w);
  w.OnReplaceFile = nullptr;
  w.OnRenameDupeFile = [](TZipCommon*, const std::string&, std::string& newName, bool& rename) {
    newName = "renamed-one.txt";
    rename = true;
  };
  w.FileSpec = {tmp.file("new/one.txt")};
  w.SetArchiveFile(arc);
  ASSERT_EQ(w.Compress(), 1);
  const std::vector<Entry> after = Entries(arc);
  ASSERT_EQ(after.size(), before.size() + 1);
  for (const Entry& e : before) {
    const Entry* kept = Find(after, e.name == "one.txt" ? "renamed-one.txt" : e.name);
    ASSERT_NE(kept, nullptr) << e.name;
    EXPECT_EQ(kept->data, e.data) << e.name;
    if (e.name != "one.txt") {
      EXPECT_EQ(kept->head, e.head) << e.name;
    }
  }

  TBlakHole d;
  Quiet(d);
  d.Switch = swDelete;
  d.FileSpec = {"*.txt"};
  d.RecurseDirs = true;
  d.SetArchiveFile(arc);
  EXPECT_EQ(d.Compress(), 6);
  const Report rep = Extract(arc, tmp.file("out"), "pw");
  EXPECT_EQ(rep.text, "");
  EXPECT_EQ(rep.stats.passed, 3);  // zero.dat, random.bin, notes.zip

  // Deleting every entry leaves an empty file, which takes new files again.
  d.FileSpec = {"*"};
  d.SetArchiveFile(arc);
  EXPECT_EQ(d.Compress(), 3);
  EXPECT_EQ(std::filesystem::file_size(arc), 0u);
  EXPECT_EQ(Build(arc, src, cmDeflate), kTreeFiles);
  EXPECT_EQ(Extract(arc, "").stats.passed, kTreeFiles);
}

// A name of 256 bytes or more would be skipped by the extractor: such a file
// is refused by name before anything is written.
TEST(BhWriter, NamesTheExtractorWouldSkipAreRefused) {
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  const std::string deep = src + "/" + std::string(200, 'd');
  std::filesystem::create_directories(deep);
  testutil::WriteFile(deep + "/" + std::string(55, 'f'), "x");  // 256 bytes stored
  testutil::WriteFile(deep + "/" + std::string(54, 'f'), "y");  // 255 bytes stored
  std::vector<int> errors;
  EXPECT_EQ(Build(tmp.file("x.bh"), src, cmFuse, "", &errors), 0);
  EXPECT_EQ(errors, std::vector<int>{E_FORMATLIMIT});
  EXPECT_FALSE(std::filesystem::exists(tmp.file("x.bh")));
  std::filesystem::remove(deep + "/" + std::string(55, 'f'));
  EXPECT_EQ(Build(tmp.file("x.bh"), src, cmFuse, "", &errors), 1);
  EXPECT_EQ(Extract(tmp.file("x.bh"), "").stats.passed, 1);
}

TEST(BhCli, CreateListTestAndExtract) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string cli = testutil::ShellQuote(testutil::CliPath());
  const std::string arc = testutil::ShellQuote(tmp.file("c.bh"));
  std::string log;
  ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(tmp.path()) + " && " + cli + " a -f bh --method fuse -p pw -r " +
                              arc + " src",
                          &log),
            0)
      << log;
  ASSERT_EQ(testutil::Run(cli + " l " + arc, &log), 0) << log;
  EXPECT_NE(log.find("Fused3"), std::string::npos) << log;
  ASSERT_EQ(testutil::Run(cli + " t -p pw " + arc, &log), 0) << log;
  ASSERT_EQ(testutil::Run(cli + " x -p pw -o " + testutil::ShellQuote(tmp.file("out")) + " " + arc, &log), 0) << log;
  EXPECT_EQ(Files(tmp.file("out/src")), Files(src));
  EXPECT_NE(testutil::Run(cli + " x -p nope -o " + testutil::ShellQuote(tmp.file("bad")) + " " + arc, &log), 0);
  EXPECT_EQ(Files(tmp.file("bad")).size(), 1u) << log;  // the empty file alone
}
