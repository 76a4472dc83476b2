// ARJ extraction and listing: archives made here by arj (every method, text
// mode, garbled entries, volume sets), the corpus samples with their CRC
// verdicts, and hand-made hostile archives.
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/other/zidUnArj.h"
#include "other_helpers.h"
#include "support/testutil.h"

using namespace othertest;
using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// The files every peer archive is made of.
void MakeInputs(const TempDir& d) {
  testutil::Run("mkdir -p " + ShellQuote(d.file("in/sub")));
  WriteFile(d.file("in/random.bin"), testutil::RandomBytes(70000, 7));
  WriteFile(d.file("in/text.txt"), testutil::TextBytes(120000, 8));
  WriteFile(d.file("in/empty.dat"), "");
  WriteFile(d.file("in/sub/small.txt"), "small file in a folder\n");
}

const char* const kInputs[] = {"random.bin", "text.txt", "empty.dat", "sub/small.txt"};

void ExpectSameInputs(const TempDir& d, const std::string& outDir) {
  for (const char* f : kInputs)
    EXPECT_TRUE(ReadFile(d.file(std::string("in/") + f)) == ReadFile(outDir + "/" + f)) << f;
}

std::string MakeArj(const TempDir& d, const std::string& options, const std::string& name = "t.arj") {
  const std::string cmd = "cd " + ShellQuote(d.file("in")) + " && arj a -y -r " + options + " " +
                          ShellQuote(d.file(name)) + " random.bin text.txt empty.dat sub >/dev/null 2>&1";
  EXPECT_EQ(testutil::Run(cmd), 0) << cmd;
  return d.file(name);
}

}  // namespace

TEST(ArjPeer, EveryMethodTextModeAndGarblingRoundTrip) {
  REQUIRE_TOOL("arj");
  struct Case {
    const char* options;
    const char* password;
  };
  const Case cases[] = {{"-m0", ""},           {"-m1", ""},          {"-m2", ""},          {"-m3", ""},
                        {"-m4", ""},           {"-m1 -t1", ""},      {"-m0 -gsecret", "secret"},
                        {"-m1 -gsecret", "secret"}, {"-m4 -gp4ss", "p4ss"}, {"-m1 -je", ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TempDir d;
    MakeInputs(d);
    const std::string arj = MakeArj(d, c.options);
    if (std::string(c.options).find("-je") != std::string::npos) {
      // a self-extractor: the archive starts after the executable stub
      zid::TArchiveDetection det;
      zid::AssignArchiveFile(det, arj);
      EXPECT_EQ(det.ArcType, zid::atArjExe);
      EXPECT_GT(det.ArcStartOffset, 0);
    }
    const Report r = Extract<zid::TUnARJ>(arj, d.file("out"), [&](zid::TUnARJ& u) { u.Password = c.password; });
    EXPECT_TRUE(r.errors.empty()) << r.errors.size();
    EXPECT_EQ(r.stats.failed, 0);
    ExpectSameInputs(d, d.file("out"));
    const Report t = Extract<zid::TUnARJ>(arj, "", [&](zid::TUnARJ& u) { u.Password = c.password; });
    EXPECT_EQ(t.stats.failed, 0);
    EXPECT_EQ(t.stats.passed, t.stats.listed);
  }
}

TEST(ArjPeer, GarbledEntriesNeedTheRightPassword) {
  REQUIRE_TOOL("arj");
  TempDir d;
  MakeInputs(d);
  const std::string arj = MakeArj(d, "-m1 -gright");
  // a wrong password fails every file and writes none of them
  Report r = Extract<zid::TUnARJ>(arj, d.file("wrong"), [](zid::TUnARJ& u) { u.Password = "wrong"; });
  EXPECT_EQ(r.stats.passed, 1);  // the empty file: nothing to decipher, nothing to check
  EXPECT_EQ(r.stats.encrypted, 3);
  EXPECT_FALSE(testutil::Run("test -e " + ShellQuote(d.file("wrong/text.txt"))) == 0);
  // the handler is asked until it gives the right one
  int asked = 0;
  r = Extract<zid::TUnARJ>(arj, d.file("asked"), [&](zid::TUnARJ& u) {
    u.OnGetPassword = [&](zid::TZipCommon*, const std::string&, std::string& pw, bool& again) {
      pw = ++asked < 2 ? "nope" : "right";
      again = true;
    };
  });
  EXPECT_EQ(r.stats.failed, 0);
  ExpectSameInputs(d, d.file("asked"));
}

TEST(ArjPeer, VolumeSetsAreFollowedWithoutAsking) {
  REQUIRE_TOOL("arj");
  for (const char* options : {"-m0 -v40k", "-m1 -v40k", "-m4 -v30k -gvol"}) {
    SCOPED_TRACE(options);
    TempDir d;
    MakeInputs(d);
    const std::string arj = MakeArj(d, options, "set.arj");
    ASSERT_EQ(testutil::Run("test -e " + ShellQuote(d.file("set.a02"))), 0);
    const Report r = Extract<zid::TUnARJ>(arj, d.file("out"), [](zid::TUnARJ& u) { u.Password = "vol"; });
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.stats.listed, 4);  // a file split over volumes is one entry
    EXPECT_EQ(r.stats.passed, 4);
    ExpectSameInputs(d, d.file("out"));
    // the listing reports each file once, with the sizes of all its parts
    const Listing l = List(arj);
    ASSERT_EQ(l.entries.size(), 4u);
    for (const Listed& e : l.entries)
      if (e.name == "text.txt") {
        EXPECT_EQ(e.unpacked, 120000);
      }
    // the command line takes the volumes beside the first one
    std::string out;
    EXPECT_EQ(testutil::Run(ShellQuote(testutil::CliPath()) + " t -p vol " + ShellQuote(arj) + " 2>&1", &out), 0)
        << out;
    EXPECT_NE(out.find("4 of 4"), std::string::npos) << out;
  }
}

TEST(ArjPeer, UnixModesAreRestored) {
  REQUIRE_TOOL("arj");
  TempDir d;
  MakeInputs(d);
  chmod(d.file("in/text.txt").c_str(), 0640);
  chmod(d.file("in/random.bin").c_str(), 0755);
  const std::string arj = MakeArj(d, "-m1");
  Extract<zid::TUnARJ>(arj, d.file("out"));
  struct stat st{};
  ASSERT_EQ(stat(d.file("out/text.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_EQ(stat(d.file("out/random.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

// ---- the corpus ------------------------------------------------------------------

namespace {

// "001) NAME" lines with the original size on the next line, from an `arj v` listing.
std::vector<std::pair<std::string, int64_t>> ArjListed(const std::string& listFile) {
  std::vector<std::pair<std::string, int64_t>> out;
  std::istringstream in(ReadFile(listFile));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("$ lsar", 0) == 0) break;
    if (line.size() > 5 && line[3] == ')' && isdigit(static_cast<unsigned char>(line[0]))) {
      std::string sizes;
      std::getline(in, sizes);
      std::istringstream f(sizes);
      std::string rev, host;
      int64_t original = -1;
      f >> rev >> host >> original;
      out.emplace_back(line.substr(5), original);
    }
  }
  return out;
}

}  // namespace

TEST(ArjCorpus, EverySampleHasItsVerdictAndItsListing) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    const char* password;
    int passed;
    int failed;
    bool set;
  };
  const Case cases[] = {
      {"commons__bla.arj", "", 2, 0, false},
      {"commons__bla.unix.arj", "", 2, 0, false},
      {"patool__p.arj", "thereisnotry", 1, 0, false},
      {"patool__t.arj", "", 1, 0, false},
      {"sharpcompress__Arj.encrypted.arj", "", 2, 3, false},  // password unknown: the folders only
      {"sharpcompress__Arj.method1.arj", "", 5, 0, false},
      {"sharpcompress__Arj.method2.arj", "", 5, 0, false},
      {"sharpcompress__Arj.method3.arj", "", 5, 0, false},
      {"sharpcompress__Arj.method4.arj", "", 5, 0, false},
      {"sharpcompress__Arj.store.arj", "", 3, 0, false},
      {"sharpcompress__Arj.store.split.arj", "", 5, 0, true},
      {"unarc__license_crypted.arj", "secret", 1, 0, false},
      {"unarc__method1.arj", "", 1, 0, false},
      {"unarc__method4.arj", "", 1, 0, false},
      {"unarc__multi.arj", "", 1, 0, true},
      {"unarc__stored.arj", "", 1, 0, false},
      {"unarc__wrongcrc32.arj", "", 0, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir + "/arj/" + c.file;
    TempDir d;
    const Report r = Extract<zid::TUnARJ>(path, d.file("out"), [&](zid::TUnARJ& u) { u.Password = c.password; });
    EXPECT_EQ(r.stats.passed, c.passed);
    EXPECT_EQ(r.stats.failed, c.failed);
    if (std::string(c.file) == "unarc__wrongcrc32.arj") {
      EXPECT_TRUE(r.Has(zid::E_CRCERROR));
    }
    // byte for byte what arj itself extracts
    if (c.failed == 0 && testutil::HaveTool("arj")) {
      const std::string pw = *c.password ? std::string(" -g") + c.password : std::string();
      testutil::Run("mkdir -p " + ShellQuote(d.file("peer")) + " && cd " + ShellQuote(d.file("peer")) +
                    " && arj x -y -v" + pw + " " + ShellQuote(path) + " >/dev/null 2>&1");
      EXPECT_EQ(testutil::Run("diff -r " + ShellQuote(d.file("peer")) + " " + ShellQuote(d.file("out"))), 0);
    }
    // the listing names the entries arj names, with their sizes
    const Listing l = List(path, [](zid::TRizER& z) { z.ShowEmptyDirs = true; });
    std::vector<std::pair<std::string, int64_t>> ours;
    for (const Listed& e : l.entries) {
      std::string n = e.name;
      if (!n.empty() && n.back() == '/') n.pop_back();
      ours.emplace_back(n, e.unpacked);
    }
    const auto theirs = ArjListed(path + ".list.txt");
    if (c.set) {
      ASSERT_FALSE(theirs.empty());
      EXPECT_EQ(ours.front().first, theirs.front().first);
    } else {
      EXPECT_EQ(ours, theirs);
    }
  }
}

// ---- hostile input ---------------------------------------------------------------

TEST(ArjHostile, DamagedArchivesEndWithAClearError) {
  struct Case {
    const char* what;
    std::function<std::string()> build;
    int code;
  };
  auto withFile = [](const ArjFields& f, const std::string& data) {
    return ArjMain() + ArjHeader(f) + data + ArjEnd();
  };
  const Case cases[] = {
      {"main header of length 0", [] { return std::string("\x60\xEA\0\0", 4) + ArjStored("A", "x"); },
       zid::E_BADFILEHEADER},
      {"first header size 0",
       [&] {
         ArjFields f;
         f.firstSize = 0;
         f.name = "A";
         return ArjMain() + ArjHeader(f) + ArjEnd();
       },
       zid::E_BADFILEHEADER},
      {"header CRC wrong",
       [] {
         std::string s = ArjMain() + ArjStored("A.TXT", "hello") + ArjEnd();
         s[s.size() - 12] ^= 1;  // inside the file header's name... or its CRC
         return s;
       },
       zid::E_BADFILEHEADER},
      {"header size past 2600", [] { return ArjMain() + std::string("\x60\xEA\xFF\x7F", 4) + std::string(40, 'x'); },
       zid::E_BADFILEHEADER},
      {"method 4 stream that runs out",
       [&] {
         ArjFields f;
         f.name = "A";
         f.method = 4;
         f.packed = 4;
         f.original = 100000;
         return withFile(f, "\x12\x34\x56\x78");
       },
       zid::E_READERROR},
      {"method 4 match before the start",
       [&] {
         ArjFields f;
         f.name = "A";
         f.method = 4;
         f.packed = 4;
         f.original = 100;
         return withFile(f, std::string("\x80\x00\x00\x00", 4));  // length code 1, position 0: nothing to copy yet
       },
       zid::E_BADBLOCK},
      {"code lengths that run past the tables",
       [&] {
         ArjFields f;
         f.name = "A";
         f.method = 1;
         f.original = 100000;
         std::string data = std::string("\x00\x10\xFF\xFF", 4) + std::string(60, '\xFF');
         f.packed = static_cast<uint32_t>(data.size());
         return withFile(f, data);
       },
       zid::E_BADBLOCK},
      {"unknown method",
       [&] {
         ArjFields f;
         f.name = "A";
         f.method = 9;
         return withFile(f, "");
       },
       zid::E_UNSUPPORTEDMETHOD},
      {"unknown file type",
       [&] {
         ArjFields f;
         f.name = "A";
         f.fileType = 7;
         return withFile(f, "");
       },
       zid::E_UNKNOWNFILETYPE},
      {"newer version", [&] {
         ArjFields f;
         f.name = "A";
         f.minVersion = 4;
         return withFile(f, "");
       },
       zid::E_VERSIONERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("h.arj"), c.build());
    const Report r = Extract<zid::TUnARJ>(d.file("h.arj"), d.file("out"));
    EXPECT_TRUE(r.Has(c.code));
    EXPECT_EQ(r.stats.passed, 0);
    List(d.file("h.arj"));  // ends, whatever it lists
  }
  // random data behind valid headers never hangs or crashes any method
  for (uint8_t method = 1; method <= 4; ++method) {
    for (uint32_t seed = 1; seed <= 8; ++seed) {
      TempDir d;
      ArjFields f;
      f.name = "A";
      f.method = method;
      const std::string data = testutil::RandomBytes(3000, seed * 31 + method);
      f.packed = static_cast<uint32_t>(data.size());
      f.original = 200000;
      WriteFile(d.file("r.arj"), withFile(f, data));
      const Report r = Extract<zid::TUnARJ>(d.file("r.arj"), "");
      EXPECT_EQ(r.stats.failed, 1) << int(method) << " " << seed;
    }
  }
}

TEST(ArjHostile, AVolumeChainThatLoopsEnds) {
  TempDir d;
  // both volumes say another one follows; the handler keeps naming the first
  WriteFile(d.file("v.arj"), ArjMain(zid::kArjVolume) + ArjStored("A", "first") + ArjEnd());
  WriteFile(d.file("v.a01"), ArjMain(zid::kArjVolume) + ArjStored("B", "second") + ArjEnd());
  auto loop = [&](zid::TZipCommon*, std::string& name, int, bool, bool&) {
    if (name.find("a01") == std::string::npos) name = d.file("v.arj");
  };
  const Report r = Extract<zid::TUnARJ>(d.file("v.arj"), "", [&](zid::TUnARJ& u) { u.OnNextVolume = loop; });
  EXPECT_EQ(r.stats.passed, 2);
  EXPECT_TRUE(r.Has(zid::E_BADFILEHEADER));
  const Listing l = List(d.file("v.arj"), [&](zid::TRizER& z) { z.OnNextVolume = loop; });
  EXPECT_EQ(l.entries.size(), 2u);
}
