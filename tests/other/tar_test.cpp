// TAR extraction: the corpus and tar-made archives of every format against
// tar x, the header variants, links and sparse files, and hostile headers;
// then the listing walker.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidTarHeader.h"
#include "engine/other/zidUnTar.h"
#include "gztar_helpers.h"

namespace {

using namespace gztartest;
using othertest::Extract;
using othertest::Report;

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (int k = 1; k < n; ++k)
      if ((static_cast<uint8_t>(s[i + k]) >> 6) != 2) return false;
    i += n;
  }
  return true;
}

Report ExtractTar(const std::string& archive, const std::string& dir) {
  return Extract<zid::TUnTar>(archive, dir, [](zid::TUnTar& u) { u.CreateStoredDirs = true; });
}

// Extracts with tar and with TUnTar and compares every regular file. Links and
// sparse files, which TUnTar does not make, must have been reported; names
// that are not UTF-8 are read as CP437 here, so only their number is compared.
void CompareWithTar(const std::string& archive, const testutil::TempDir& t) {
  const std::string ours = t.file("ours"), theirs = t.file("theirs");
  std::filesystem::remove_all(ours);
  std::filesystem::remove_all(theirs);
  std::filesystem::create_directories(theirs);
  ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(theirs) + " && tar xf " + testutil::ShellQuote(archive) +
                          " --no-same-owner --no-same-permissions"),  // modes under the umask, as ours
            0);
  const Report r = ExtractTar(archive, ours);
  EXPECT_FALSE(r.stats.archiveFailed);
  const auto mine = FilesBelow(ours);
  const auto want = FilesBelow(theirs);
  size_t notUtf8 = 0, notMade = 0;
  for (const auto& [name, content] : want) {
    if (!ValidUtf8(name)) {
      ++notUtf8;
      continue;
    }
    auto it = mine.find(name);
    if (it == mine.end()) {
      // a hard link (or sparse file) tar made and we reported
      EXPECT_TRUE(r.Has(zid::E_UNKNOWNFILETYPE) || r.Has(zid::E_UNSUPPORTEDMETHOD)) << name;
      ++notMade;
      continue;
    }
    EXPECT_TRUE(it->second == content) << name;
    struct stat a{}, b{};
    ASSERT_EQ(stat((ours + "/" + name).c_str(), &a), 0);
    ASSERT_EQ(stat((theirs + "/" + name).c_str(), &b), 0);
    EXPECT_EQ(a.st_mtime, b.st_mtime) << name;
    EXPECT_EQ(a.st_mode & 0777, b.st_mode & 0777) << name;
  }
  EXPECT_EQ(mine.size() + notMade, want.size());
  EXPECT_EQ(r.stats.failed, static_cast<int>(r.errors.size() - std::count(r.errors.begin(), r.errors.end(),
                                                                           static_cast<int>(zid::E_UNKNOWNFILETYPE))));
  (void)notUtf8;
}

TEST(TarCorpus, EveryArchiveMatchesTar) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("tar");
  testutil::TempDir t;
  int checked = 0;
  for (const auto& de : std::filesystem::directory_iterator(corpus + "/tar")) {
    const std::string path = de.path().string();
    if (de.path().extension() != ".tar") continue;
    SCOPED_TRACE(path);
    CompareWithTar(path, t);
    ++checked;
  }
  EXPECT_GE(checked, 20);
}

// tar itself writes every format over one tree: long names, a name split
// into the ustar prefix, UTF-8, empty and block-sized files, modes, links.
TEST(Tar, EveryFormatTarWrites) {
  REQUIRE_TOOL("tar");
  testutil::TempDir t;
  const std::string src = t.file("src");
  const std::string deep = "folder-with-a-fairly-long-name/another-folder-with-a-long-name/and-a-third-one-to-pass-100";
  std::filesystem::create_directories(src + "/" + deep);
  std::filesystem::create_directories(src + "/empty-folder");
  testutil::WriteFile(src + "/" + deep + "/file-in-the-deep.txt", "deep\n");
  testutil::WriteFile(src + "/" + std::string(180, 'n') + ".txt", "long name\n");
  testutil::WriteFile(src + "/gr\xc3\xbc\xc3\x9f" "e.txt", "utf-8\n");
  testutil::WriteFile(src + "/empty", "");
  testutil::WriteFile(src + "/block", std::string(512, 'b'));
  testutil::WriteFile(src + "/big.bin", testutil::RandomBytes(300000, 5));
  chmod((src + "/big.bin").c_str(), 0751);
  std::filesystem::create_symlink("block", src + "/link-to-block");
  std::filesystem::create_hard_link(src + "/empty", src + "/hard-to-empty");
  for (const char* format : {"v7", "ustar", "oldgnu", "gnu", "posix"}) {
    SCOPED_TRACE(format);
    const std::string archive = t.file(std::string(format) + ".tar");
    // v7 and ustar cannot hold some of the names: tar leaves those out (and says so).
    testutil::Run("cd " + testutil::ShellQuote(src) + " && tar cf " + testutil::ShellQuote(archive) + " --format=" +
                  format + " .");
    CompareWithTar(archive, t);
  }
}

TEST(Tar, HandMadeHeaders) {
  testutil::TempDir t;
  TarFields base256, signedSum, oldV7, dirWithSize;
  base256.base256Size = true;
  signedSum.signedSum = true;
  signedSum.ustar = false;
  oldV7.ustar = false;
  oldV7.type = '\0';
  dirWithSize.type = '5';
  dirWithSize.size = 700;
  TarFields longHdr;
  longHdr.type = 'L';
  TarFields prefixed;
  prefixed.prefix = "in/a/prefix";
  const std::string longName = std::string(120, 'q') + "/" + std::string(120, 'r') + "/end.txt";
  TarFields lnk;
  lnk.type = '2';
  lnk.link = "/etc/passwd";
  lnk.name = "evil-link";
  TarFields sparse;
  sparse.type = 'S';
  struct Case {
    const char* what;
    std::string archive;
    std::map<std::string, std::string> files;
    int code;  // reported besides; 0: none
  };
  const Case cases[] = {
      {"base-256 size", TarFile("b256.txt", "size in binary\n", base256) + TarEnd(), {{"b256.txt", "size in binary\n"}}, 0},
      {"signed checksum", TarFile("s\xe9.txt", "high bytes\n", signedSum) + TarEnd(),
       {{"s\xce\x98.txt", "high bytes\n"}}, 0},
      {"v7 with the type left NUL", TarFile("old.txt", "v7\n", oldV7) + TarEnd(), {{"old.txt", "v7\n"}}, 0},
      {"folder with a size field", TarHeader([&] { TarFields f = dirWithSize; f.name = "d/"; return f; }()) +
           TarFile("d/x", "after the folder\n") + TarEnd(),
       {{"d/x", "after the folder\n"}}, 0},
      {"ustar prefix", TarFile("name.txt", "prefixed\n", prefixed) + TarEnd(), {{"in/a/prefix/name.txt", "prefixed\n"}}, 0},
      {"GNU long name", TarFile("././@LongLink", longName + std::string(1, '\0'), longHdr) +
           TarFile(longName.substr(0, 100), "long\n") + TarEnd(),
       {{longName, "long\n"}}, 0},
      {"pax path and size, global header ignored",
       PaxHeader({{"comment", "global"}}, 'g') + PaxHeader({{"path", "pax/\xc3\xa9t\xc3\xa9.txt"}, {"size", "5"}}) +
           TarFile("short", "paxxx") + TarEnd(),
       {{"pax/\xc3\xa9t\xc3\xa9.txt", "paxxx"}}, 0},
      {"no end blocks: extracted, with a warning", TarFile("a", "no end\n"), {{"a", "no end\n"}}, zid::E_READERROR},
      {"dot folder", TarHeader([] { TarFields f; f.name = "./"; f.type = '5'; return f; }()) + TarFile("./f", "f\n") +
           TarEnd(),
       {{"f", "f\n"}}, 0},
      {"symbolic link out", TarHeader(lnk) + TarFile("after", "x\n") + TarEnd(), {{"after", "x\n"}}, zid::E_BADFILENAME},
      {"sparse file without a map", TarFile("holes", std::string(512, 'h'), sparse) + TarFile("after", "y\n") + TarEnd(),
       {{"holes", ""}, {"after", "y\n"}}, 0},
      {"climbing out: cut", TarFile("../../outside", "cut\n") + TarFile("inside", "yes\n") + TarEnd(),
       {{"outside", "cut\n"}, {"inside", "yes\n"}},
       zid::E_BADFILENAME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testutil::WriteFile(t.file("in.tar"), c.archive);
    const std::string dir = t.file("out/x");
    std::filesystem::remove_all(t.file("out"));
    const Report r = ExtractTar(t.file("in.tar"), dir);
    EXPECT_EQ(FilesBelow(t.file("out")).size(), c.files.size());
    const auto got = FilesBelow(dir);
    EXPECT_TRUE(got == c.files) << (got.empty() ? std::string("nothing") : got.begin()->first);
    EXPECT_FALSE(r.stats.archiveFailed);
    if (c.code == 0) EXPECT_TRUE(r.errors.empty()) << r.errors[0];
    else EXPECT_TRUE(r.Has(c.code));
  }
}

// Damaged or hostile archives: an error every time, the entries before the
// damage extracted and those behind the next header whose checksum matches,
// never a success.
TEST(Tar, HostileArchives) {
  testutil::TempDir t;
  TarFields lie;
  lie.checksumDelta = 3;
  TarFields huge;
  huge.type = 'L';
  huge.size = int64_t{1} << 30;
  const std::string good = TarFile("good", "good\n");
  struct Case {
    const char* what;
    std::string archive;
    size_t extracted;  // files written
    int code;
    bool archiveFailed;
  };
  const Case cases[] = {
      {"first checksum lies", TarFile("a", "a\n", lie) + TarEnd(), 0, zid::E_BADFILEHEADER, true},
      {"later checksum lies: passed over", good + TarFile("b", "b\n", lie) + TarFile("c", "c\n") + TarEnd(), 2,
       zid::E_BADFILEHEADER, false},
      {"size past the end", good + TarHeader([] { TarFields f; f.name = "big"; f.size = 1 << 20; return f; }()) +
           std::string(600, 'z'),
       1, zid::E_READERROR, false},
      {"cut inside a header", good + TarHeader([] { TarFields f; f.name = "x"; return f; }()).substr(0, 300), 1,
       zid::E_READERROR, true},
      {"long-name record of a gigabyte", good + TarHeader([&] { TarFields f = huge; f.name = "L"; return f; }()) +
           TarEnd(),
       1, zid::E_BADFILEHEADER, false},
      {"long-name record with no entry after it",
       good + TarFile("././@LongLink", "name", [] { TarFields f; f.type = 'L'; return f; }()), 1, zid::E_READERROR, true},
      {"not a number in the size field", good + [] {
         std::string h = TarHeader([] { TarFields f; f.name = "n"; return f; }());
         h[130] = 'x';
         int64_t sum = 0;
         for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : static_cast<uint8_t>(h[i]);
         Octal(h, 148, 7, sum);
         return h;
       }() + TarEnd(),
       1, zid::E_BADFILEHEADER, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testutil::WriteFile(t.file("bad.tar"), c.archive);
    std::filesystem::remove_all(t.file("out"));
    const Report r = ExtractTar(t.file("bad.tar"), t.file("out"));
    EXPECT_EQ(FilesBelow(t.file("out")).size(), c.extracted);
    EXPECT_TRUE(r.Has(c.code)) << (r.errors.empty() ? 0 : r.errors[0]);
    EXPECT_EQ(r.stats.archiveFailed, c.archiveFailed);
    EXPECT_TRUE(r.stats.archiveFailed || r.stats.failed > 0);
  }
}

TEST(TarListing, FullNamesFoldersAndRecords) {
  testutil::TempDir t;
  const std::string longName = std::string(150, 'w') + ".txt";
  TarFields dir;
  dir.type = '5';
  dir.name = "folder/";
  TarFields lnk;
  lnk.type = '2';
  lnk.name = "link";
  lnk.link = "target";
  TarFields longHdr;
  longHdr.type = 'L';
  testutil::WriteFile(t.file("l.tar"),
                      TarHeader(dir) + TarFile("folder/one", "12345") +
                          TarFile("././@LongLink", longName + std::string(1, '\0'), longHdr) +
                          TarFile(longName.substr(0, 100), "xy") + PaxHeader({{"path", "from-pax"}}) +
                          TarFile("x", "abc") + TarHeader(lnk) + TarEnd());
  othertest::Listing l = othertest::List(t.file("l.tar"));
  std::vector<std::string> names;
  for (const auto& e : l.entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"folder/one", longName, "from-pax", "link"}));
  ASSERT_EQ(l.entries.size(), 4u);
  EXPECT_EQ(l.entries[0].unpacked, 5);
  EXPECT_EQ(l.entries[1].packed, 2);
  EXPECT_EQ(l.totalFiles, 4);
  EXPECT_TRUE(l.errors.empty());

  l = othertest::List(t.file("l.tar"), [](zid::TRizER& r) { r.ShowEmptyDirs = true; });
  ASSERT_FALSE(l.entries.empty());
  EXPECT_EQ(l.entries[0].name, "folder/");

  testutil::WriteFile(t.file("bad.tar"), TarFile("ok", "1") + TarFile("liar", "2", [] {
                                           TarFields f;
                                           f.checksumDelta = 1;
                                           return f;
                                         }()) + TarEnd());
  l = othertest::List(t.file("bad.tar"));
  EXPECT_EQ(l.entries.size(), 1u);
  EXPECT_EQ(l.errors, std::vector<int>{zid::E_BADFILEHEADER});
}

}  // namespace
