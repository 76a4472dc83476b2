// GZIP and Unix compress extraction: the corpus and peer-made files against
// gzip and uncompress, several members, the header fields, the member name
// rules, ASCII translation, a tar inside, and hostile input.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidDelzw.h"
#include "engine/other/zidUnGZip.h"
#include "gztar_helpers.h"
#include "support/memory_decode.h"

namespace {

using namespace gztartest;
using othertest::Extract;
using othertest::Report;

// Decodes a .Z stream in memory.
int DelzwOf(const std::string& in, std::string& out) {
  const testutil::Decoded d = testutil::Decode(zid::Delzw, in, -1);
  out += d.out;
  return d.result;
}

// Extracts one file into a fresh folder; *content gets the one file written there.
Report ExtractOne(const testutil::TempDir& t, const std::string& archive, std::string* content,
                  const std::function<void(zid::TUnGZip&)>& setup = nullptr) {
  const std::string dir = t.file("out");
  std::filesystem::remove_all(dir);
  Report r = Extract<zid::TUnGZip>(archive, dir, setup);
  const auto files = FilesBelow(dir);
  if (content) *content = files.size() == 1 ? files.begin()->second : "<" + std::to_string(files.size()) + " files>";
  return r;
}

bool Ok(const Report& r) { return r.stats.passed == 1 && r.stats.failed == 0 && !r.stats.archiveFailed; }

TEST(GzipCorpus, EveryFileMatchesThePeer) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("gzip");
  REQUIRE_TOOL("uncompress");
  testutil::TempDir t;
  int checked = 0;
  for (const auto& de : std::filesystem::directory_iterator(corpus + "/gzip")) {
    const std::string path = de.path().string();
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".txt") == 0) continue;
    const bool lzw = path.back() == 'Z';
    const std::string ref = t.file("ref");
    // gzip exits 2 for a warning (trailing garbage), with the data intact.
    const int rc = PeerToFile((lzw ? "uncompress -c < " : "gzip -dc < ") + testutil::ShellQuote(path), ref);
    const bool peerOk = rc == 0 || (!lzw && rc == 2);
    std::string got;
    const Report r = ExtractOne(t, path, &got, [](zid::TUnGZip& g) {
      g.OnNestedTarFile = [](zid::TZipCommon*, const std::string&, bool& doUnTar) { doUnTar = false; };
    });
    SCOPED_TRACE(path);
    if (peerOk) {
      EXPECT_TRUE(Ok(r));
      EXPECT_EQ(got, testutil::ReadFile(ref));
    } else {
      EXPECT_FALSE(Ok(r));
      EXPECT_TRUE(r.Has(zid::E_CRCERROR) || r.Has(zid::E_BADBLOCK) || r.Has(zid::E_READERROR));
    }
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

// compress at its widths, in block mode (clear codes when the ratio drops); the
// input mixes text and noise so the tables fill and clear. (This compress
// writes -b9 and -C streams that neither it nor gzip nor 7-Zip read back.)
TEST(Delzw, DecodesWhatCompressWrites) {
  REQUIRE_TOOL("compress");
  testutil::TempDir t;
  const std::string plain = testutil::TextBytes(300000, 1) + testutil::RandomBytes(150000, 2) +
                            testutil::TextBytes(200000, 3) + std::string(70000, 'a');
  testutil::WriteFile(t.file("plain"), plain);
  for (const std::string opts : {"-b10", "-b11", "-b12", "-b13", "-b14", "-b15", "-b16"}) {
    SCOPED_TRACE(opts);
    ASSERT_EQ(PeerToFile("compress -c " + opts + " < " + t.file("plain"), t.file("p.Z")), 0);
    std::string out;
    EXPECT_EQ(DelzwOf(testutil::ReadFile(t.file("p.Z")), out), zid::drOk);
    EXPECT_TRUE(out == plain) << out.size() << " of " << plain.size();
  }
}

TEST(Delzw, CodeRules) {
  struct Case {
    const char* what;
    uint8_t flags;
    std::vector<unsigned> codes;
    int result;
    std::string out;
  };
  const Case cases[] = {
      {"literals", 0x90, {'a', 'b', 'c'}, zid::drOk, "abc"},
      // 257 is being defined as "a" + its first byte when it is used.
      {"the code being defined", 0x90, {'a', 257}, zid::drOk, "aaa"},
      {"a code past the next free one", 0x90, {'a', 'b', 300}, zid::drInvalidData, ""},
      {"a first code past the literals", 0x90, {300}, zid::drInvalidData, ""},
      {"code 256 without block mode is a string", 0x10, {'a', 'b', 256}, zid::drOk, "abab"},
      {"width 17", 0x91, {'a'}, zid::drInvalidData, ""},
      {"width 8", 0x88, {'a'}, zid::drInvalidData, ""},
      {"reserved bits", 0xF0, {'a'}, zid::drInvalidData, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    EXPECT_EQ(DelzwOf(Lzw9(c.flags, c.codes), out), c.result);
    if (c.result == zid::drOk) {
      EXPECT_EQ(out, c.out);
    }
  }
  std::string out;
  EXPECT_EQ(DelzwOf(std::string("\x1f\x9d", 2), out), zid::drInputExhausted);
}

TEST(GzipNames, MemberNameRules) {
  struct Case {
    const char* archive;
    const char* stored;  // nullptr: no name field
    bool text;
    const char* want;
  };
  const Case cases[] = {
      {"/d/notes.gz", nullptr, false, "notes"},
      {"/d/notes.gz", nullptr, true, "notes.txt"},
      {"/d/readme.txt.gz", nullptr, true, "readme.txt"},
      {"/d/archive.tgz", "archive.tgz", false, "archive.tar"},
      {"/d/archive.tgz", nullptr, false, "archive.tar"},
      {"/d/a.taz", nullptr, false, "a.tar"},
      {"/d/backup.tar.gz", nullptr, false, "backup.tar"},
      {"/d/my.notes.txt.Z", nullptr, false, "my.notes.txt"},
      {"/d/a.gz", "../x", false, "x"},
      {"/d/a.gz", "/etc/y", false, "y"},
      {"/d/a.gz", "dir\\z.txt", false, "z.txt"},
      {"/d/a.gz", "..", false, "a"},
      {"/d/a.gz", "inner.gz", false, "inner"},
      {"/d/a.gz", "report.pdf", false, "report.pdf"},
      {"/d/data", nullptr, false, "data.out"},
      {"/d/A.GZ", "a.gz", false, "a"},
  };
  for (const Case& c : cases) {
    const std::string stored = c.stored ? c.stored : "";
    EXPECT_EQ(zid::GzipMemberName(c.archive, c.stored ? &stored : nullptr, c.text), c.want)
        << c.archive << " " << stored;
  }
}

// Header fields and trailers: what decodes, and what fails with which code.
TEST(Gzip, MembersHeadersAndTrailers) {
  testutil::TempDir t;
  const std::string text = testutil::TextBytes(70000, 7);
  Member plain;
  plain.data = text;
  plain.name = "plain.txt";
  struct Case {
    const char* what;
    std::string file;
    std::string want;  // content when it passes
    int code;          // 0: passes; else the error reported
  };
  Member extra = plain, comment = plain, hcrc = plain, all = plain, crcLie = plain, sizeLie = plain;
  extra.extra = std::string(300, 'x');
  comment.comment = "a comment";
  hcrc.headerCrc = true;
  all.extra = "ab";
  all.comment = "c";
  all.headerCrc = true;
  crcLie.crcDelta = 1;
  sizeLie.sizeDelta = 1;
  Member huge = plain, bogus = plain, reserved = plain, encrypted = plain, stored = plain;
  huge.xlen = 0xFFFF;  // far more than the file holds
  huge.data = "short";
  bogus.xlen = 40;  // the "extra field" eats the start of the data
  reserved.flags = 0x40;
  encrypted.flags = 0x20;
  stored.method = 0;
  Member second;
  second.data = "and the second member\n";
  const std::string good = Gzip(plain);
  const Case cases[] = {
      {"plain", good, text, 0},
      {"extra field", Gzip(extra), text, 0},
      {"comment", Gzip(comment), text, 0},
      {"header CRC", Gzip(hcrc), text, 0},
      {"every field", Gzip(all), text, 0},
      {"two members", good + Gzip(second), text + second.data, 0},
      {"zero padding", good + std::string(1000, '\0'), text, 0},
      {"trailing garbage", good + "garbage", text, 0},
      {"CRC lie", Gzip(crcLie), "", zid::E_CRCERROR},
      {"length lie", Gzip(sizeLie), "", zid::E_CRCERROR},
      {"CRC lie in the second member", good + Gzip([&] { Member m = second; m.crcDelta = 5; return m; }()), "",
       zid::E_CRCERROR},
      {"huge extra field", Gzip(huge), "", zid::E_READERROR},
      {"bogus extra field", Gzip(bogus), "", zid::E_BADBLOCK},
      {"reserved flags", Gzip(reserved), "", zid::E_BADFILEHEADER},
      {"encrypted", Gzip(encrypted), "", zid::E_PASSWORDPROTECTED},
      {"not deflate", Gzip(stored), "", zid::E_UNSUPPORTEDMETHOD},
      {"damaged second member", good + std::string("\x1f\x8b\x08\x00", 4) + std::string(20, '\xff'), "",
       zid::E_BADBLOCK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testutil::WriteFile(t.file("in.gz"), c.file);
    std::string got;
    const Report r = ExtractOne(t, t.file("in.gz"), &got);
    if (c.code == 0) {
      EXPECT_TRUE(Ok(r));
      EXPECT_TRUE(r.errors.empty());
      EXPECT_TRUE(got == c.want);
    } else {
      EXPECT_FALSE(Ok(r));
      EXPECT_TRUE(r.Has(c.code)) << (r.errors.empty() ? 0 : r.errors[0]);
    }
  }
}

// The inflater reads a few bytes past a member's data; wherever that end falls
// against the 64 KiB input blocks, the trailer and the next member are found.
TEST(Gzip, MemberEndsAroundInputBlocks) {
  testutil::TempDir t;
  Member first, second;
  second.data = "and the second member\n";
  first.data = testutil::RandomBytes(60000, 3);  // random bytes deflate to stored blocks: one byte in, one out
  const int64_t end0 = static_cast<int64_t>(Gzip(first).size()) - 8;
  for (int64_t shift = -12; shift <= 12; ++shift) {
    first.data = testutil::RandomBytes(static_cast<size_t>(60000 + 65536 - end0 + shift), 3);
    testutil::WriteFile(t.file("in.gz"), Gzip(first) + Gzip(second));
    std::string got;
    const Report r = ExtractOne(t, t.file("in.gz"), &got);
    EXPECT_TRUE(Ok(r)) << shift;
    EXPECT_TRUE(got == first.data + second.data) << shift;
  }
}

// A member cut anywhere is an error, never a good file.
TEST(Gzip, TruncatedAnywhereFails) {
  testutil::TempDir t;
  Member m;
  m.data = testutil::TextBytes(200000, 9) + testutil::RandomBytes(50000, 9);
  m.name = "cut.bin";
  m.comment = "comment";
  const std::string whole = Gzip(m);
  for (size_t cut : {size_t{1}, size_t{5}, size_t{12}, size_t{22}, whole.size() / 3, whole.size() / 2,
                     whole.size() - 9, whole.size() - 8, whole.size() - 4, whole.size() - 1}) {
    SCOPED_TRACE(cut);
    testutil::WriteFile(t.file("cut.gz"), whole.substr(0, cut));
    const Report r = ExtractOne(t, t.file("cut.gz"), nullptr);
    EXPECT_FALSE(Ok(r));
    EXPECT_FALSE(r.errors.empty());
    const Report test = Extract<zid::TUnGZip>(t.file("cut.gz"), "");
    EXPECT_EQ(test.stats.passed, 0);
  }
}

TEST(Gzip, HostileCompressFiles) {
  testutil::TempDir t;
  struct Case {
    const char* what;
    std::string file;
    int code;
  };
  const Case cases[] = {
      {"maximum width 17", Lzw9(0x91, {'a', 'b'}), zid::E_CORRUPTINPUT},
      {"maximum width 31", Lzw9(0x9F, {'a', 'b'}), zid::E_CORRUPTINPUT},
      {"reserved bits", Lzw9(0xB0, {'a', 'b'}), zid::E_INCOMPLETECODESET},
      {"a code past the next free one", Lzw9(0x90, {'a', 'b', 'c', 'd', 400}), zid::E_BADBLOCK},
      {"pack", std::string("\x1f\x1e\x00\x00\x00\x10", 6) + std::string(30, 'x'), zid::E_UNSUPPORTEDMETHOD},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testutil::WriteFile(t.file("bad.Z"), c.file + std::string(24, '\0'));
    const Report r = ExtractOne(t, t.file("bad.Z"), nullptr);
    EXPECT_FALSE(Ok(r));
    EXPECT_TRUE(r.Has(c.code)) << (r.errors.empty() ? 0 : r.errors[0]);
  }
}

TEST(Gzip, StoredNameStaysInTheTargetFolder) {
  testutil::TempDir t;
  Member m;
  m.data = "escape attempt\n";
  for (const char* name : {"../x", "/tmp/abs-y", "../../z"}) {
    m.name = name;
    testutil::WriteFile(t.file("in.gz"), Gzip(m));
    const std::string dir = t.file("out");
    std::filesystem::remove_all(dir);
    const Report r = Extract<zid::TUnGZip>(t.file("in.gz"), dir);
    EXPECT_TRUE(Ok(r)) << name;
    const auto files = FilesBelow(t.path());
    const std::string base = std::filesystem::path(name).filename().string();
    EXPECT_EQ(files.count("out/" + base), 1u) << name;
    EXPECT_EQ(files.size(), 2u) << name;  // in.gz and the output
  }
}

TEST(Gzip, AsciiTranslation) {
  testutil::TempDir t;
  Member m;
  m.data = "one\ntwo\r\nthree\n";
  m.name = "t.txt";
  for (const uint8_t xfl : {0, 2}) {
    m.xfl = xfl;
    testutil::WriteFile(t.file("t.gz"), Gzip(m));
    std::string got;
    const Report r = ExtractOne(t, t.file("t.gz"), &got, [](zid::TUnGZip& g) { g.AsciiTranslation = true; });
    EXPECT_TRUE(Ok(r));  // the trailer checks the data as decoded
    EXPECT_EQ(got, xfl == 2 ? m.data : "one\r\ntwo\r\nthree\r\n");
  }
}

// A tar inside is written as the entry; with OnNestedTarFile agreeing, its
// entries are extracted instead, with their folders, read as they are
// decoded: no tar file is left.
TEST(Gzip, NestedTar) {
  testutil::TempDir t;
  Member m;
  m.data = TarFile("top.txt", "top\n") + TarFile("sub/deep.txt", "deep\n") + TarEnd();
  m.name = "pack.tar";
  testutil::WriteFile(t.file("pack.tgz"), Gzip(m));

  Report r = Extract<zid::TUnGZip>(t.file("pack.tgz"), t.file("no"));
  EXPECT_TRUE(r.Has(zid::E_REQUIREDEVENT));
  EXPECT_EQ(FilesBelow(t.file("no")).size(), 1u);

  std::string changed;
  std::string asked;
  r = Extract<zid::TUnGZip>(t.file("pack.tgz"), t.file("yes"), [&](zid::TUnGZip& g) {
    g.OnNestedTarFile = [&](zid::TZipCommon*, const std::string& f, bool& doUnTar) {
      asked = f;
      doUnTar = true;
    };
    g.OnChangeArchive = [&](zid::TZipCommon*, const std::string& f, zid::TArcType type) {
      if (type == zid::atTar) changed = f;
    };
  });
  const auto files = FilesBelow(t.file("yes"));
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("sub/deep.txt"), "deep\n");
  EXPECT_EQ(files.at("top.txt"), "top\n");
  EXPECT_EQ(r.returned, 2);
  EXPECT_EQ(r.stats.passed, 2);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(asked, "pack.tar");
  EXPECT_EQ(changed, asked);
}

TEST(GzipListing, OneEntryNamedAsExtracted) {
  testutil::TempDir t;
  Member m;
  m.data = testutil::TextBytes(5000, 4);
  m.name = "inside.txt";
  m.extra = "xyz";
  const std::string gz = Gzip(m);
  testutil::WriteFile(t.file("one.gz"), gz + std::string(8, '\0'));
  testutil::WriteFile(t.file("one.gz"), gz);
  othertest::Listing l = othertest::List(t.file("one.gz"));
  ASSERT_EQ(l.entries.size(), 1u);
  EXPECT_EQ(l.entries[0].name, "inside.txt");
  EXPECT_EQ(l.entries[0].unpacked, 5000);
  EXPECT_EQ(l.entries[0].packed, static_cast<int64_t>(gz.size()) - 10 - 5 - 11 - 8);
  EXPECT_EQ(l.totalFiles, 1);

  testutil::WriteFile(t.file("words.txt.Z"), Lzw9(0x90, {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k',
                                                         'l', 'm', 'n', 'o', 'p', 'q', 'r', 's', 't'}));
  l = othertest::List(t.file("words.txt.Z"));
  ASSERT_EQ(l.entries.size(), 1u);
  EXPECT_EQ(l.entries[0].name, "words.txt");
}

}  // namespace
