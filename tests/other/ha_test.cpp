// HA extraction: the corpus samples (no Debian tool makes or reads HA; the
// stored sample is the reference, its bytes the ARC samples' LICENSE) and
// archives built here with folders and damaged CRCs.
#include <gtest/gtest.h>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidUnHa.h"
#include "other_helpers.h"
#include "support/testutil.h"

using namespace othertest;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

struct HaFile {
  int method = 0;
  std::string path, name, data;
  uint32_t crc = 0;  // 0: the data's own
};
std::string HaArchive(const std::vector<HaFile>& files) {
  std::string s = "HA";
  Put16(s, static_cast<uint16_t>(files.size()));
  for (const HaFile& f : files) {
    Put8(s, static_cast<uint8_t>(0x20 | f.method));
    Put32(s, static_cast<uint32_t>(f.data.size()));
    Put32(s, static_cast<uint32_t>(f.data.size()));
    Put32(s, f.crc ? f.crc : Crc32(f.data));
    Put32(s, 1700000000u);
    s += f.path + '\0' + f.name + '\0' + std::string("\x02\x01\x20", 3) + f.data;
  }
  return s;
}

bool Exists(const std::string& path) { return testutil::Run("test -e " + testutil::ShellQuote(path)) == 0; }

}  // namespace

TEST(HaCorpus, EveryMethodGivesTheStoredLicense) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  const std::string license = ReadFile(dir + "/arc/unarc__store.arc").substr(29, 11357);
  for (const char* file : {"unarc__copy.ha", "unarc__asc.ha", "unarc__hsc.ha"}) {
    SCOPED_TRACE(file);
    TempDir d;
    const Report r = Extract<zid::TUnHa>(dir + "/ha/" + file, d.file("out"));
    EXPECT_EQ(r.type, zid::atHA);
    EXPECT_EQ(r.stats.passed, 1) << r.text;
    EXPECT_TRUE(ReadFile(d.file("out/license")) == license);
  }
}

TEST(HaBuilt, FoldersCrcAndDamage) {
  const std::string text = testutil::TextBytes(5000, 9);
  TempDir d;
  WriteFile(d.file("a.ha"), HaArchive({{14, "", "sub", ""},
                                       {0, "sub\xFF" "deep", "t.txt", text},
                                       {0, "", "bad.txt", "bad", 0x1234},
                                       {1, "", "zeros.asc", std::string(64, '\0'), 0x12345678},
                                       {2, "", "zeros.hsc", std::string(64, '\0'), 0x12345678},
                                       {0, "", "e", ""}}));
  const Report r = Extract<zid::TUnHa>(d.file("a.ha"), d.file("out"));
  EXPECT_EQ(r.stats.passed, 3);
  EXPECT_EQ(r.stats.failed, 3);  // zeros that decode to something else fail the CRC and leave no file
  EXPECT_FALSE(Exists(d.file("out/zeros.asc")) || Exists(d.file("out/zeros.hsc")));
  EXPECT_TRUE(r.Has(zid::E_CRCERROR));
  EXPECT_TRUE(ReadFile(d.file("out/sub/deep/t.txt")) == text);
  EXPECT_FALSE(Exists(d.file("out/bad.txt")));  // a failed entry leaves no file
  EXPECT_TRUE(Exists(d.file("out/e")));
  // a header cut short ends the walk with 25114 after the entries before it
  std::string cut = HaArchive({{0, "", "one", "1"}, {0, "", "two", "2"}});
  cut.resize(cut.size() - 8);
  WriteFile(d.file("c.ha"), cut);
  const Report c = Extract<zid::TUnHa>(d.file("c.ha"), d.file("cut"));
  EXPECT_EQ(c.stats.passed, 1);
  EXPECT_TRUE(c.Has(zid::E_BADFILEHEADER));
}
