// Damaged and hostile ZIP archives: cuts at every offset, random bytes,
// overlapping entries in volume sets, counts the end record gets wrong, and
// encryption the engine does not do.
#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/zip/zidZip.h"
#include "platform/files.h"
#include "support/hostile.h"
#include "zip_fixture.h"

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;
using namespace ziptest;

namespace {

bool HasText(const Report& r, int code, const std::string& text) {
  for (size_t i = 0; i < r.codes.size(); ++i)
    if (r.codes[i] == code && r.extras[i].find(text) != std::string::npos) return true;
  return false;
}

// Good archives of several shapes: stored and deflated entries, a folder, an
// empty file, a stub in front, and one written by the engine's own writer.
std::vector<std::string> GoodArchives(const TempDir& tmp) {
  std::vector<std::string> out;
  Entry dir = Plain("d/", "");
  dir.externalAttr = 0x10;
  out.push_back(Build({Plain("a.txt", "alpha alpha alpha"), dir, Plain("d/b.txt", testutil::TextBytes(3000, 1), true),
                       Plain("empty", "")}));
  out.push_back(Build({Plain("s.bin", testutil::RandomBytes(700, 2), true)}, std::string(100, 'M')));
  testutil::WriteFile(tmp.file("src/x.txt"), testutil::TextBytes(2000, 3));
  testutil::WriteFile(tmp.file("src/y/z.txt"), "zz");
  zid::TZip z;
  Build(z, tmp.file("own.zip"), tmp.file("src"));
  out.push_back(ReadFile(tmp.file("own.zip")));
  return out;
}

}  // namespace

// A cut archive never tests clean: a missing or cut directory falls back to
// the local headers with a warning, a cut header or data is an error, and an
// archive without any entry says so.
TEST(ZipHostile, EveryCutIsAnErrorOrAWarning) {
  TempDir tmp;
  for (const std::string& good : GoodArchives(tmp)) {
    WriteFile(tmp.file("good.zip"), good);
    ASSERT_TRUE(TestsClean(tmp.file("good.zip")));
    EXPECT_EQ(testutil::CleanCuts(good, tmp.file("cut.zip"), TestsClean), std::vector<size_t>{});
  }
  // The cuts of each kind, as reported.
  const std::string arc = Build({Plain("a.txt", "alpha"), Plain("b.txt", testutil::TextBytes(3000, 1), true)});
  const size_t dir = arc.find("PK\x01\x02");
  WriteFile(tmp.file("c.zip"), arc.substr(0, dir + 20));  // inside the central directory
  Report r = TestArchive(tmp.file("c.zip"));
  EXPECT_TRUE(HasText(r, zid::E_BADFILEHEADER, "local headers"));
  EXPECT_EQ(r.stats.passed, 2);
  WriteFile(tmp.file("c.zip"), arc.substr(0, 45));  // inside the second local header
  r = TestArchive(tmp.file("c.zip"));
  EXPECT_TRUE(HasText(r, zid::E_BADFILEHEADER, "cut short"));
  EXPECT_EQ(r.stats.passed, 1);
  WriteFile(tmp.file("c.zip"), arc.substr(0, 20));  // before the first header is complete
  r = TestArchive(tmp.file("c.zip"));
  EXPECT_TRUE(r.stats.archiveFailed);
  EXPECT_TRUE(HasText(r, zid::E_BADFILEHEADER, "no entry found"));
}

TEST(ZipHostile, RandomBytesNeverCrashOrHang) {
  TempDir tmp;
  uint32_t seed = 1;
  for (const std::string& good : GoodArchives(tmp))
    testutil::MutationPass(good, tmp.file("m.zip"), 300, seed++, [](const std::string& p) { TestArchive(p); });
}

// Entries whose data overlap are refused on every disk of a set too.
TEST(ZipHostile, OverlapsAreRefusedInVolumeSets) {
  TempDir tmp;
  Entry a = Plain("a.txt", testutil::TextBytes(500, 1)), b = a;
  b.name = "b.txt";
  b.writeLocal = false;
  b.localOffset = 0;  // the data of a.txt once more
  const std::string whole = Build({a, b});
  const size_t dir = whole.find("PK\x01\x02"), end = whole.rfind("PK\x05\x06");
  WriteFile(tmp.file("set.z01"), whole.substr(0, dir));
  std::string last = whole.substr(dir, end - dir);
  std::string rec;
  Put32(rec, 0x06054B50);
  Put16(rec, 1);  // this disk
  Put16(rec, 1);  // the directory's disk
  Put16(rec, 2);
  Put16(rec, 2);
  Put32(rec, static_cast<uint32_t>(last.size()));
  Put32(rec, 0);
  Put16(rec, 0);
  WriteFile(tmp.file("set.zip"), last + rec);
  const Report r = Extract(tmp.file("set.zip"), tmp.file("out"), [](zid::TUnZip& u) {
    u.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool exists, bool& cancel) { cancel = !exists; };
  });
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), a.data);
  EXPECT_FALSE(plat::FileExists(tmp.file("out/b.txt")));
  EXPECT_TRUE(HasText(r, zid::E_BADLOCALOFFSET, "overlaps"));
}

// Counts and sizes of the end record that disagree with the directory are reported.
TEST(ZipHostile, EndRecordCountsThatDisagreeAreReported) {
  TempDir tmp;
  const std::string arc = Build({Plain("a.txt", "alpha"), Plain("b.txt", "beta")});
  const size_t end = arc.size() - 22;
  struct Case {
    size_t at;
    uint32_t value;
    int width;
    std::string text;
  } cases[] = {{10, 0xFFFF, 2, "counts 65535 entries"},
               {10, 0, 2, "counts 0 entries"},
               // A wrong directory size hides the directory: the local headers are read.
               {12, 0x7FFFFFF0, 4, "local headers"},
               {12, 20, 4, "local headers"}};
  for (const Case& c : cases) {
    std::string bad = arc;
    auto* p = reinterpret_cast<uint8_t*>(bad.data()) + end + c.at;
    if (c.width == 2) zid::Put16(p, static_cast<uint16_t>(c.value));
    else zid::Put32(p, c.value);
    WriteFile(tmp.file("n.zip"), bad);
    const Report r = TestArchive(tmp.file("n.zip"));
    EXPECT_TRUE(HasText(r, zid::E_BADFILEHEADER, c.text)) << c.text;
    EXPECT_EQ(r.stats.passed, 2) << c.text;
  }
}

// Strong encryption, an encrypted directory and AES without its field are named as unsupported,
// never tried as the traditional cipher or taken for plain data.
TEST(ZipHostile, EncryptionTheEngineDoesNotDoIsNamed) {
  TempDir tmp;
  struct Case {
    uint16_t flags, method;
    std::string text;
  } cases[] = {{0x41, 8, "strong encryption is not supported"},
               {0x2001, 0, "encrypted central directory"},
               {0x01, 99, "AES encryption without a WinZip AES field is not supported"}};
  for (const Case& c : cases) {
    Entry e = Plain("secret.txt", testutil::TextBytes(200, 4));
    e.flags = c.flags;
    e.method = c.method;
    WriteFile(tmp.file("e.zip"), Build({e, Plain("open.txt", "open")}));
    const Report r = Extract(tmp.file("e.zip"), tmp.file("out"), [](zid::TUnZip& u) { u.Password = "x"; });
    ASSERT_EQ(r.codes.size(), 1u) << c.text;
    EXPECT_EQ(r.codes[0], zid::E_UNSUPPORTEDMETHOD);
    EXPECT_EQ(r.errorNames[0], "secret.txt");
    EXPECT_NE(r.extras[0].find(c.text), std::string::npos) << r.extras[0];
    EXPECT_EQ(r.stats.passed, 1);
  }
}

// Method 8 verdicts: good data passes, corrupt, cut, over-long and garbage data
// each fail with their own code.
TEST(ZipHostile, InflateVerdicts) {
  TempDir tmp;
  const std::string text = testutil::TextBytes(20000, 5);
  const std::string packed = RawDeflate(text);
  auto entry = [&](const std::string& name, const std::string& data, int64_t usize) {
    Entry e = Plain(name, text, true);
    e.data = data;
    e.usize = usize;
    return e;
  };
  std::string corrupt = packed;
  corrupt[packed.size() / 2] ^= 0x55;
  WriteFile(tmp.file("i.zip"),
            Build({entry("good.txt", packed, 20000), entry("corrupt.txt", corrupt, 20000),
                   entry("cut.txt", packed.substr(0, packed.size() / 2), 20000), entry("long.txt", packed, 15000),
                   entry("short.txt", packed, 25000), entry("garbage.txt", std::string(300, '\xFF'), 20000)}));
  Report streamed = Extract(tmp.file("i.zip"), tmp.file("b"));
  EXPECT_EQ(streamed.stats.passed, 1);
  EXPECT_EQ(ReadFile(tmp.file("b/good.txt")), text);
  const std::vector<int> want{zid::E_CORRUPTINPUT, zid::E_READERROR, zid::E_CRCERROR, zid::E_CORRUPTINPUT,
                              zid::E_BADBLOCK};
  EXPECT_EQ(streamed.codes, want);
}
