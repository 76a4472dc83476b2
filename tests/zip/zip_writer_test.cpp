// The ZIP writer: archives peers accept, round trips through our extractor,
// the store rules, encryption, enciphered headers, deletion and JAR.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "engine/zip/zidCrypt.h"
#include "engine/zip/zidJar.h"
#include "engine/zip/zidZip.h"
#include "platform/hooks.h"
#include "support/testutil.h"
#include "zip_fixture.h"

using namespace zid;
using namespace ziptest;
using testutil::ShellQuote;

namespace {

struct Variant {
  const char* label;
  TDeflateType type;
  bool store;
  std::string password;
};

const Variant kVariants[] = {
    {"stored", dtDeflateN, true, ""},   {"fast", dtDeflateF, false, ""},
    {"normal", dtDeflateN, false, ""},  {"max", dtDeflateX, false, ""},
    {"encrypted", dtDeflateN, false, "s3cret"}, {"encrypted-stored", dtDeflateN, true, "s3cret"},
};

}  // namespace

class WriterVariants : public ::testing::TestWithParam<Variant> {};

TEST_P(WriterVariants, PeersAcceptTheArchiveAndOurExtractorRestoresEveryByte) {
  const Variant& v = GetParam();
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("out.zip");
  TZip z;
  z.DeflateType = v.type;
  if (v.store) z.SetCompressMethod(cmStore);
  z.Password = v.password;
  z.StoreEmptySubDirs = true;
  EXPECT_EQ(Build(z, arc, src), 9);  // seven files and two empty folders

  EXPECT_EQ(ExtractPassed(arc, tmp.file("mine"), v.password), 9);
  EXPECT_TRUE(SameFiles(src, tmp.file("mine")));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("mine/empty/inner")));

  const std::string pw = v.password.empty() ? "" : " -P " + v.password;
  if (testutil::HaveTool("unzip")) {
    std::string out;
    EXPECT_EQ(testutil::Run("unzip -t" + pw + " " + ShellQuote(arc), &out), 0) << out;
    std::filesystem::create_directories(tmp.file("peer"));
    EXPECT_EQ(testutil::Run("cd " + ShellQuote(tmp.file("peer")) + " && LANG=C.UTF-8 unzip -q" + pw + " " +
                                ShellQuote(arc), &out), 0) << out;
    EXPECT_TRUE(SameFiles(src, tmp.file("peer")));
  }
  if (testutil::HaveTool("7zz")) {
    std::string out;
    const std::string p7 = v.password.empty() ? "" : " -p" + v.password;
    EXPECT_EQ(testutil::Run("7zz t" + p7 + " " + ShellQuote(arc), &out), 0) << out;
  }
  if (testutil::HaveTool("python3")) {
    std::string out;
    const std::string py = "import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); z.setpassword(sys.argv[2].encode()); "
                           "r=z.testzip(); sys.exit(0 if r is None else 1)";
    EXPECT_EQ(testutil::Run("python3 -c " + ShellQuote(py) + " " + ShellQuote(arc) + " " + ShellQuote(v.password),
                            &out), 0) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(All, WriterVariants, ::testing::ValuesIn(kVariants),
                         [](const auto& info) {
                           std::string s = info.param.label;
                           for (auto& c : s)
                             if (c == '-') c = '_';
                           return s;
                         });

TEST(ZipWriter, StoreRulesAndHeaderFields) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  testutil::WriteFile(src + "/r100.bin", testutil::RandomBytes(100, 9));
  testutil::WriteFile(src + "/t100.txt", std::string(100, 'a'));
  testutil::WriteFile(src + "/UPPER.ZIP", testutil::TextBytes(4000, 7));
  const std::string arc = tmp.file("a.zip");
  TZip z;
  z.DeflateType = dtDeflateX;
  z.Password = "pw";
  Build(z, arc, src);
  const auto c = ReadCentral(arc);
  ASSERT_FALSE(c.empty());
  EXPECT_EQ(FindEntry(c, "r100.bin")->method, 0) << "100 random bytes deflate larger: stored";
  EXPECT_EQ(FindEntry(c, "t100.txt")->method, 8);
  EXPECT_EQ(FindEntry(c, "notes.zip")->method, 0) << "listed extension: stored even at max";
  EXPECT_EQ(FindEntry(c, "UPPER.ZIP")->method, 0);
  const Central* zero = FindEntry(c, "zero.dat");
  EXPECT_EQ(zero->method, 0);
  EXPECT_EQ(zero->crc, 0u);
  EXPECT_EQ(zero->flags & 1, 0) << "an empty file is never encrypted";
  const Central* text = FindEntry(c, "text.txt");
  EXPECT_EQ(text->flags & 1, 1);
  EXPECT_EQ(text->flags & 6, 2) << "maximum deflate flag bits";
  EXPECT_EQ(text->csize > 12u, true);
  // Non-ASCII names are UTF-8 with bit 11; ASCII names carry no flag.
  const Central* utf = FindEntry(c, "sub/caf\xC3\xA9 \xE2\x82\xAC.txt");
  ASSERT_NE(utf, nullptr);
  EXPECT_EQ(utf->flags & 0x800, 0x800);
  EXPECT_EQ(text->flags & 0x800, 0);
  EXPECT_EQ(text->madeBy, 0x0314) << "made on Unix, APPNOTE 2.0";
}

TEST(ZipWriter, DeflateStoreTypeStoresEverything) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  TZip z;
  z.DeflateType = dtDeflateS;
  Build(z, tmp.file("s.zip"), src);
  for (const auto& e : ReadCentral(tmp.file("s.zip"))) EXPECT_EQ(e.method, 0) << e.name;
}

TEST(ZipWriter, MaxIsNeverLargerThanFastOnText) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("src/t.txt"), testutil::TextBytes(500000, 11));
  TZip f, x;
  f.DeflateType = dtDeflateF;
  x.DeflateType = dtDeflateX;
  Build(f, tmp.file("f.zip"), tmp.file("src"));
  Build(x, tmp.file("x.zip"), tmp.file("src"));
  EXPECT_LE(ReadCentral(tmp.file("x.zip"))[0].csize, ReadCentral(tmp.file("f.zip"))[0].csize);
  EXPECT_EQ(ReadCentral(tmp.file("f.zip"))[0].flags & 6, 4);
}

TEST(ZipWriter, EncipheredHeadersRoundTripThroughOurReader) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("e.zip");
  TZip z;
  z.EncryptHeaders = true;
  z.Password = "both";
  ASSERT_EQ(Build(z, arc, src), 7);
  const std::string d = testutil::ReadFile(arc);
  EXPECT_EQ(d.substr(0, 4), std::string("PL\x03\x04", 4)) << "local headers carry the L signature";
  EXPECT_EQ(d.substr(d.size() - 22, 4), std::string("PK\x05\x06", 4)) << "the end record stays plain";
  EXPECT_EQ(d.find("text.txt"), std::string::npos) << "names are enciphered";
  EXPECT_EQ(ExtractPassed(arc, tmp.file("out"), "both"), 7);
  EXPECT_TRUE(SameFiles(src, tmp.file("out")));
}

TEST(ZipWriter, DeleteShiftsOffsetsAndDeletingAllLeavesABareEndRecord) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("src/a.txt"), testutil::TextBytes(3000, 1));
  testutil::WriteFile(tmp.file("src/b.txt"), testutil::TextBytes(4000, 2));
  testutil::WriteFile(tmp.file("src/c.txt"), testutil::TextBytes(5000, 3));
  const std::string arc = tmp.file("d.zip");
  TZip z;
  z.FileSpec = {tmp.file("src/a.txt"), tmp.file("src/b.txt"), tmp.file("src/c.txt")};
  z.RecurseDirs = false;
  z.SetArchiveFile(arc);
  ASSERT_EQ(z.Compress(), 3);
  const auto before = ReadCentral(arc);
  ASSERT_EQ(before.size(), 3u);
  const uint32_t firstSize = before[1].offset - before[0].offset;

  TZip del;
  del.Switch = swDelete;
  del.FileSpec = {"a.txt"};
  del.SetArchiveFile(arc);
  EXPECT_EQ(del.Compress(), 1);
  const auto after = ReadCentral(arc);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].offset, before[1].offset - firstSize);
  EXPECT_EQ(after[1].offset, before[2].offset - firstSize);
  EXPECT_EQ(ExtractPassed(arc, tmp.file("x")), 2);
  EXPECT_EQ(testutil::ReadFile(tmp.file("x/c.txt")), testutil::ReadFile(tmp.file("src/c.txt")));

  del.FileSpec = {"*.*"};
  del.SetArchiveFile(arc);
  EXPECT_EQ(del.Compress(), 2);
  std::string expect(22, '\0');
  expect.replace(0, 4, "PK\x05\x06");
  EXPECT_EQ(testutil::ReadFile(arc), expect);
}

TEST(ZipWriter, ArchiveCommentSurvivesUpdatesAndEntryCommentsAreSaved) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("src/a.txt"), "alpha alpha alpha");
  const std::string arc = tmp.file("c.zip");
  TZip z;
  Build(z, arc, tmp.file("src"));
  ASSERT_TRUE(z.LoadComments());
  ASSERT_EQ(z.CommentCount(), 1);
  z.SetEntryComment(0, "first entry");
  z.SetArchiveComment("the archive");
  ASSERT_TRUE(z.SaveComments());
  testutil::WriteFile(tmp.file("src/b.txt"), "beta");
  TZip more;
  Build(more, arc, tmp.file("src"));
  TZip reader;
  reader.SetArchiveFile(arc);
  ASSERT_TRUE(reader.LoadComments());
  EXPECT_EQ(reader.GetArchiveComment(), "the archive");
  EXPECT_EQ(reader.GetEntryComment(0), "first entry");
  EXPECT_EQ(reader.CommentCount(), 2);
  if (testutil::HaveTool("unzip")) {
    EXPECT_EQ(testutil::Run("unzip -tq " + ShellQuote(arc)), 0);
  }
  // An exception inside SaveComments (here the handler's own) is said, not swallowed.
  std::vector<int> codes;
  reader.OnError = [&codes](TZipCommon*, const std::string&, const std::string&, const std::string&, int c) {
    codes.push_back(c);
    if (codes.size() == 1) throw std::runtime_error("handler");
  };
  reader.SetEntryComment(0, "changed");
  std::rename(arc.c_str(), (arc + ".away").c_str());
  EXPECT_FALSE(reader.SaveComments());
  ASSERT_EQ(codes.size(), 2u);
  EXPECT_EQ(codes[1], E_UNKNOWNERROR);
}

TEST(JarWriter, KeepsItsTypeAndListsWithJar) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  TJar j;
  j.SetArcType(atZip);
  EXPECT_EQ(j.GetArcType(), atJar);
  j.DeflateType = dtDeflateX;
  j.FileSpec = {src + "/*"};
  j.SetArchiveFile(tmp.file("lib"));
  EXPECT_EQ(j.Compress(), 7);
  EXPECT_TRUE(std::filesystem::exists(tmp.file("lib.JAR")));
  for (const auto& e : ReadCentral(tmp.file("lib.JAR"))) EXPECT_TRUE(e.method == 0 || e.method == 8);
  if (testutil::HaveTool("jar")) {
    std::string out;
    EXPECT_EQ(testutil::Run("jar tf " + ShellQuote(tmp.file("lib.JAR")), &out), 0) << out;
    EXPECT_NE(out.find("sub/deeper/d.txt"), std::string::npos) << out;
  }
}

// Zip64 as peers read it, written by the command line: a sparse 4.5 GB file
// (fast Deflate: its zeros shrink to 20 MB, the sizes pass 4 GiB) and 70,000
// files (more than the end record counts). Each passes unzip -t and 7zz t and
// lists with its sizes in python and in zefa l; the big files go with the
// folder. The big file costs about 35 s of processor time.
struct Zip64Case {
  const char* label;
  bool big;
};
class Zip64 : public ::testing::TestWithParam<Zip64Case> {};

TEST_P(Zip64, WrittenArchivesPassPeersWithTheirSizes) {
  REQUIRE_TOOL("unzip");
  REQUIRE_TOOL("7zz");
  testutil::TempDir tmp;
  int64_t bytes = 0;
  int entries = 0;
  std::string what;
  if (GetParam().big) {
    bytes = int64_t{4500} << 20;
    testutil::WriteFile(tmp.file("huge.bin"), "head");
    std::filesystem::resize_file(tmp.file("huge.bin"), bytes);
    testutil::WriteFile(tmp.file("tail.txt"), "tail");
    bytes += 4;
    entries = 2;
    what = "--level fast huge.bin tail.txt";
  } else {
    for (entries = 0; entries < 70000; ++entries) {
      const std::string n = std::to_string(entries);
      testutil::WriteFile(tmp.file("many/d" + std::to_string(entries / 1000) + "/" + n), n);
      bytes += static_cast<int64_t>(n.size());
    }
    what = "-r many";
  }
  const std::string cli = ShellQuote(testutil::CliPath());
  std::string out;
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(tmp.path()) + " && " + cli + " a out.zip " + what, &out), 0) << out;
  const std::string arc = ShellQuote(tmp.file("out.zip"));
  EXPECT_EQ(testutil::Run("unzip -tq " + arc, &out), 0) << out;
  EXPECT_EQ(testutil::Run("7zz t " + arc, &out), 0) << out;
  EXPECT_NE(out.find("Size:       " + std::to_string(bytes) + "\n"), std::string::npos) << out;
  const std::string py = "import zipfile,sys; i=zipfile.ZipFile(sys.argv[1]).infolist(); "
                         "print(len(i), sum(e.file_size for e in i))";
  EXPECT_EQ(testutil::Run("python3 -c " + ShellQuote(py) + " " + arc, &out), 0) << out;
  EXPECT_EQ(out, std::to_string(entries) + " " + std::to_string(bytes) + "\n");
  EXPECT_EQ(testutil::Run(cli + " l " + arc + " | tail -1", &out), 0) << out;
  EXPECT_NE(out.find(" " + std::to_string(bytes) + " "), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(All, Zip64, ::testing::Values(Zip64Case{"big_file", true}, Zip64Case{"many_files", false}),
                         [](const auto& info) { return std::string(info.param.label); });

// Entries are made on Unix: the exec bit and the time to the second (an odd
// one, which DOS times cannot hold) come back through our extractor, unzip
// and bsdtar; so does an empty folder (its time too, from our extractor).
TEST(ZipWriter, UnixModeAndTimeRoundTripThroughPeers) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("src/run.sh"), "#!/bin/sh\necho hi\n");
  std::filesystem::create_directories(tmp.file("src/empty"));
  std::filesystem::permissions(tmp.file("src/run.sh"), std::filesystem::perms(0755));
  const auto when = std::filesystem::last_write_time(tmp.file("src/run.sh")) - std::chrono::hours(30);
  const auto odd = std::chrono::floor<std::chrono::seconds>(when) + std::chrono::seconds(
      std::chrono::floor<std::chrono::seconds>(when).time_since_epoch().count() % 2 == 0 ? 1 : 0);
  std::filesystem::last_write_time(tmp.file("src/run.sh"), odd);
  std::filesystem::last_write_time(tmp.file("src/empty"), odd);
  const std::string arc = tmp.file("m.zip");
  TZip z;
  z.StoreEmptySubDirs = true;
  ASSERT_EQ(Build(z, arc, tmp.file("src")), 2);
  EXPECT_EQ(FindEntry(ReadCentral(arc), "run.sh")->madeBy >> 8, 3);
  struct Reader {
    const char* tool;
    std::string command;  // %s: the archive; run in the target folder
  } readers[] = {{"", ""}, {"unzip", "unzip -q %s"}, {"bsdtar", "bsdtar -xf %s"}};
  for (const Reader& r : readers) {
    const std::string out = tmp.file(std::string("out-") + (*r.tool ? r.tool : "zefa"));
    if (*r.tool) {
      if (!testutil::HaveTool(r.tool)) continue;
      std::filesystem::create_directories(out);
      std::string cmd = r.command;
      cmd.replace(cmd.find("%s"), 2, ShellQuote(arc));
      ASSERT_EQ(testutil::Run("cd " + ShellQuote(out) + " && " + cmd), 0) << r.tool;
    } else {
      ASSERT_EQ(ExtractPassed(arc, out), 2);
    }
    const auto perms = std::filesystem::status(out + "/run.sh").permissions();
    EXPECT_NE(perms & std::filesystem::perms::owner_exec, std::filesystem::perms::none) << r.tool;
    EXPECT_TRUE(std::filesystem::last_write_time(out + "/run.sh") == odd) << r.tool;
    EXPECT_TRUE(std::filesystem::is_directory(out + "/empty")) << r.tool;
    if (!*r.tool) EXPECT_TRUE(std::filesystem::last_write_time(out + "/empty") == odd);
  }
}

// A name on disk that is not UTF-8 keeps its bytes, without the UTF-8 flag
// (readers that check the flag refuse the archive otherwise), made on Unix.
TEST(ZipWriter, NamesThatAreNotUtf8KeepTheirBytes) {
  testutil::TempDir tmp;
  const std::string latin1 = "caf\xE9.txt";
  testutil::WriteFile(tmp.file("src/" + latin1), "latin");
  testutil::WriteFile(tmp.file("src/ok.txt"), "ok");
  const std::string arc = tmp.file("n.zip");
  TZip z;
  ASSERT_EQ(Build(z, arc, tmp.file("src")), 2);
  const auto dir = ReadCentral(arc);
  const Central* c = FindEntry(dir, latin1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->flags & 0x800, 0);
  EXPECT_EQ(c->madeBy >> 8, 3);
  std::string out;
  if (testutil::HaveTool("unzip")) {
    EXPECT_EQ(testutil::Run("unzip -tq " + ShellQuote(arc), &out), 0) << out;
  }
  if (testutil::HaveTool("7zz")) {
    EXPECT_EQ(testutil::Run("7zz t " + ShellQuote(arc), &out), 0) << out;
  }
  if (testutil::HaveTool("python3")) {
    const std::string py = "import zipfile,sys; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)";
    EXPECT_EQ(testutil::Run("python3 -c " + ShellQuote(py) + " " + ShellQuote(arc), &out), 0) << out;
  }
}

// Files compressed ahead by worker threads make the same archive, byte for
// byte, with the same events in the same order, as the loop compressing alone
// (encrypted ones too, the random header bytes from one seed); a file OnBegin
// refuses is left out either way.
TEST(ZipWriter, WorkersWriteTheSameArchive) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  testutil::WriteFile(src + "/big.txt", testutil::TextBytes(5 << 20, 8));  // compressed into a temporary file
  testutil::WriteFile(src + "/skip.me", "refused");
  for (int i = 0; i < 40; ++i) testutil::WriteFile(src + "/many/f" + std::to_string(i), testutil::TextBytes(i * 97, i));
  for (const std::string password : {"", "secret"}) {
    auto build = [&](int workers, const std::string& arc, std::vector<std::string>& events) {
      TZip z;
      z.CompressWorkers = workers;
      z.Password = password;
      z.OnBegin = [&](TZipCommon*, const std::string& name, int, bool& go) {
        events.push_back("begin " + name);
        go = name.find("skip.me") == std::string::npos;
      };
      z.OnEnd = [&](TZipCommon*, const std::string& name, bool) { events.push_back("end " + name); };
      SetCryptReseed(false);
      plat::RandSeed(7);
      const int n = Build(z, arc, src);
      SetCryptReseed(true);
      return n;
    };
    std::vector<std::string> alone, workers;
    const std::string one = tmp.file("alone" + password + ".zip"), many = tmp.file("workers" + password + ".zip");
    const int n = build(1, one, alone);
    EXPECT_EQ(build(3, many, workers), n);
    EXPECT_EQ(testutil::ReadFile(one), testutil::ReadFile(many)) << password;
    EXPECT_EQ(alone, workers);
    EXPECT_EQ(FindEntry(ReadCentral(many), "skip.me"), nullptr);
    EXPECT_EQ(ExtractPassed(many, tmp.file("out" + password), password), n);
  }
}

// A large file is deflated in pieces on every worker: the archive does not
// depend on their number (plain and enciphered), peers and our extractor
// restore it, and AES runs over the pieces too.
TEST(ZipWriter, LargeFileInPiecesIsTheSameOnOneAndFourWorkers) {
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  std::filesystem::create_directories(src);
  testutil::WriteFile(src + "/large.bin", testutil::TextBytes(1700000, 3) + testutil::RandomBytes(300001, 4) +
                                              testutil::TextBytes(900000, 5));
  auto build = [&](int workers, const std::string& password, int aesStrength, const std::string& arc) {
    TZip z;
    z.CompressWorkers = workers;
    z.Password = password;
    EXPECT_TRUE(z.SetCipher(aesStrength));
    SetCryptReseed(false);
    plat::RandSeed(5);
    const int n = Build(z, arc, src);
    SetCryptReseed(true);
    return n;
  };
  for (const std::string password : {"", "secret"}) {
    const std::string one = tmp.file("one" + password + ".zip"), four = tmp.file("four" + password + ".zip");
    EXPECT_EQ(build(1, password, 0, one), 1);
    EXPECT_EQ(build(4, password, 0, four), 1);
    EXPECT_EQ(testutil::ReadFile(one), testutil::ReadFile(four)) << password;
    EXPECT_EQ(ExtractPassed(four, tmp.file("out" + password), password), 1);
    EXPECT_TRUE(SameFiles(src, tmp.file("out" + password)));
    if (testutil::HaveTool("unzip")) {
      std::string out;
      const std::string pw = password.empty() ? "" : " -P " + password;
      EXPECT_EQ(testutil::Run("unzip -t" + pw + " " + ShellQuote(four), &out), 0) << out;
    }
  }
  const std::string aes = tmp.file("aes.zip");
  EXPECT_EQ(build(4, "secret", 3, aes), 1);
  EXPECT_EQ(ExtractPassed(aes, tmp.file("out-aes"), "secret"), 1);
  EXPECT_TRUE(SameFiles(src, tmp.file("out-aes")));
}
