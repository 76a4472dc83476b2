// Component services around the loops: temporary folder, volumes, methods, ratio.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/base/zidCompBase.h"
#include "engine/base/zidFormats.h"
#include "engine/base/zidMethods.h"
#include "engine/cab/zidCabMethods.h"
#include "engine/lha/zidLhaMethods.h"
#include "engine/other/zidArcMethods.h"
#include "engine/other/zidGunzip.h"
#include "engine/other/zidRarMethods.h"
#include "engine/zip/zidUnZipDecode.h"
#include "engine/base/zidSafeName.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "support/testutil.h"

using namespace zid;
namespace fs = std::filesystem;

namespace {

struct Codes {
  std::vector<std::pair<int, std::string>> list;
  TOnError handler() {
    return [this](TZipCommon*, const std::string&, const std::string& ext, const std::string&, int c) {
      list.emplace_back(c, ext);
    };
  }
};

TEST(TempDir, MissingFolderIsCreatedAfterYesAndReplacedAfterNo) {
  testutil::TempDir tmp;
  std::string asked;
  plat::SetMessageBoxHook([&](plat::MsgKind k, const std::string&, const std::string& text) {
    EXPECT_EQ(k, plat::MsgKind::Question);
    asked = text;
    return plat::MsgResult::Yes;
  });
  TCompBase w;
  w.SetTempDir(tmp.file("new/deeper"));
  EXPECT_TRUE(fs::is_directory(tmp.file("new/deeper")));
  EXPECT_EQ(w.GetTempDir(), tmp.file("new/deeper") + "/");
  EXPECT_NE(asked.find("Directory does not exist... Create?"), std::string::npos);
  EXPECT_EQ(asked.find(tmp.file("new/deeper")), 0u);

  plat::SetMessageBoxHook([](plat::MsgKind, const std::string&, const std::string&) { return plat::MsgResult::No; });
  w.SetTempDir(tmp.file("other"));
  EXPECT_FALSE(fs::exists(tmp.file("other")));
  EXPECT_EQ(w.GetTempDir(), plat::TempFolder());
  plat::SetMessageBoxHook(nullptr);

  w.SetTempDir("");
  EXPECT_EQ(w.GetTempDir(), plat::TempFolder());
}

class TCabLike : public TCompBase {
 public:
  TCabLike() {
    supported_ = {cmStore, cmMsZip, cmLzx, cmQuantum};
    compressMethod_ = cmMsZip;
  }
};

TEST(SupportedMethods, AMethodOutsideTheSetIsIgnored) {
  TCabLike cab;
  cab.SetCompressMethod(cmDeflate);
  EXPECT_EQ(cab.GetCompressMethod(), cmMsZip);
  cab.SetCompressMethod(cmLzx);
  EXPECT_EQ(cab.GetCompressMethod(), cmLzx);
}

TEST(WriterDefaults, StoreFilesOfTypeHoldsTheTwentyFourExtensions) {
  TCompBase w;
  EXPECT_EQ(w.StoreFilesOfType.size(), 24u);
  EXPECT_EQ(w.StoreFilesOfType.front(), ".ACE");
  EXPECT_EQ(w.StoreFilesOfType.back(), ".ZOO");
  EXPECT_TRUE(w.Attributes.Contains(fsArchive));
  EXPECT_FALSE(w.Attributes.Contains(fsHidden));
  EXPECT_EQ(w.Switch, swAdd);
  EXPECT_EQ(w.StoredDirNames, sdRelative);
  EXPECT_EQ(w.DeflateType, dtDeflateN);
  EXPECT_EQ(w.CompressionMethod, cmTempFile);
}

class TVolumes : public TCompBase {};

TEST(Volumes, MultiVolumeZipNamesRunFromZ01ToTheArchiveItself) {
  testutil::TempDir tmp;
  TVolumes v;
  testutil::WriteFile(tmp.file("set.zip"), "x");
  v.Detection().ArchiveFile = tmp.file("set.zip");
  v.LastVolume = 3;
  v.CurrentVolume = 0;
  EXPECT_EQ(v.NextVolumeName(), tmp.file("set.z01"));
  v.CurrentVolume = 1;
  EXPECT_EQ(v.NextVolumeName(), tmp.file("set.z02"));
  v.CurrentVolume = 2;
  EXPECT_EQ(v.NextVolumeName(), tmp.file("set.zip"));
  v.LastVolume = 200;
  v.CurrentVolume = 99;
  EXPECT_EQ(v.NextVolumeName(), tmp.file("set.z100"));
}

TEST(Volumes, OpenNextVolumeWithoutTheEventReportsItAndCancels) {
  testutil::TempDir tmp;
  TVolumes v;
  Codes codes;
  v.OnError = codes.handler();
  v.Detection().ArchiveFile = tmp.file("set.zip");
  v.LastVolume = 3;
  v.CurrentVolume = 1;
  EXPECT_FALSE(v.OpenNextVolume());
  ASSERT_EQ(codes.list.size(), 1u);
  EXPECT_EQ(codes.list[0], std::make_pair(int(E_REQUIREDEVENT), std::string("OnNextVolume")));
  EXPECT_TRUE(v.Cancelled());
}

TEST(Volumes, OpenNextVolumeAsksUntilTheFileIsThere) {
  testutil::TempDir tmp;
  TVolumes v;
  v.Detection().ArchiveFile = tmp.file("set.zip");
  v.LastVolume = 3;
  v.CurrentVolume = 1;
  int asked = 0;
  v.OnNextVolume = [&](TZipCommon*, std::string& name, int id, bool exists, bool&) {
    EXPECT_EQ(id, 2);
    if (++asked == 2) testutil::WriteFile(name, "vol2");
    (void)exists;
  };
  EXPECT_TRUE(v.OpenNextVolume());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(v.CurrentVolume, 2);
  EXPECT_EQ(v.ArchiveSize(), 4);
}

TEST(Volumes, RequestVolumeLimitsAndFallbacks) {
  testutil::TempDir tmp;
  TVolumes v;
  Codes codes;
  v.OnError = codes.handler();
  EXPECT_FALSE(v.RequestVolume(tmp.file("a.r01"), 1000));
  EXPECT_FALSE(v.RequestVolume("", 2));
  EXPECT_FALSE(v.RequestVolume(tmp.file("missing.r01"), 2));
  ASSERT_EQ(codes.list.size(), 3u);
  EXPECT_EQ(codes.list[0].first, E_MAXVOLUMES);
  EXPECT_EQ(codes.list[1].first, E_BADFILENAME);
  EXPECT_EQ(codes.list[2], std::make_pair(int(E_REQUIREDEVENT), std::string("OnNextVolume")));
  testutil::WriteFile(tmp.file("b.r01"), "12345");
  EXPECT_TRUE(v.RequestVolume(tmp.file("b.r01"), 2));
  EXPECT_EQ(v.ArchiveSize(), 5);
  v.OnNextVolume = [](TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
  EXPECT_FALSE(v.RequestVolume(tmp.file("b.r02"), 3));
  EXPECT_TRUE(v.Cancelled());
}

TEST(MethodTables, ListingNamesComeFromEachFamilysTable) {
  EXPECT_EQ(ZipMethodName(0, 0, 0), "Stored");
  EXPECT_EQ(ZipMethodName(8, 2, 0), "DeflateX");
  EXPECT_EQ(ZipMethodName(8, 6, 0), "DeflateS");
  EXPECT_EQ(ZipMethodName(9, 4, 0), "Def-64F");
  EXPECT_EQ(ZipMethodName(98, 0, 0x10), "<Dir>");
  EXPECT_EQ(ZipMethodName(98, 0, 0), "Unsupported");
  EXPECT_EQ(LhaMethods().Name('5'), "Frozen-5");
  EXPECT_STREQ(LhaMethods().FindTag("-lz5-")->name, "LArc-5");
  EXPECT_EQ(LhaMethods().FindTag("-lh8-"), nullptr);
  EXPECT_EQ(CabMethodName(0x1503), "Lzx");
  EXPECT_EQ(CabMethodName(0x15), "Lzx5");
  EXPECT_EQ(PakMethods().Name(9), "Varible");
  EXPECT_EQ(RarMethods().Name(0x33), "Normal");
  EXPECT_EQ(GZipMethods().Name(kGzLzhMagic), "LzhMAGIC");
  EXPECT_EQ(ArcMethods().Name(30), "<Dir>");
}

// Every writer offers exactly its table's writer methods, each with a command-line name.
TEST(MethodTables, WritersOfferTheirTablesMethods) {
  for (const TFormat& f : Formats()) {
    if (f.makeWriter == nullptr) continue;
    SCOPED_TRACE(f.name);
    ASSERT_NE(f.methods, nullptr);
    const std::vector<TCompressMethod> offered = f.methods().WriterMethods();
    ASSERT_FALSE(offered.empty());
    const auto w = f.makeWriter();
    for (int m = 0; m <= cmTarGzip; ++m) {
      const auto cm = static_cast<TCompressMethod>(m);
      const bool inTable = std::find(offered.begin(), offered.end(), cm) != offered.end();
      EXPECT_EQ(w->SupportedMethods().Contains(cm), inTable) << m;
      if (inTable) EXPECT_NE(f.methods().FindWriter(cm)->cliName, nullptr);
    }
  }
}

TEST(Ratio, RoundedAndZeroWhenNothingWasSaved) {
  EXPECT_EQ(TZipCommon::CalcRatio(0, 0), 0);
  EXPECT_EQ(TZipCommon::CalcRatio(100, 100), 0);
  EXPECT_EQ(TZipCommon::CalcRatio(100, 150), 0);
  EXPECT_EQ(TZipCommon::CalcRatio(3, 1), 67);
  EXPECT_EQ(TZipCommon::CalcRatio(200, 1), 100);  // 99.5 rounds up
}

TEST(EntryPaths, PrefixesAndClimbing) {
  auto split = [](std::string_view s) {
    std::vector<std::string> c;
    return SplitEntryPath(s, c) ? JoinComponents(c, c.size()) : std::string("<refused>");
  };
  EXPECT_EQ(split("a\\b/c.txt"), "a/b/c.txt");
  EXPECT_EQ(split("/x"), "x");
  EXPECT_EQ(split("//x"), "x");
  EXPECT_EQ(split("C:\\x"), "x");
  EXPECT_EQ(split("C:x"), "x");
  EXPECT_EQ(split("\\\\srv\\share\\x"), "x");
  EXPECT_EQ(split("\\\\?\\C:\\x"), "x");
  EXPECT_EQ(split("\\\\?\\UNC\\srv\\share\\x"), "x");
  EXPECT_EQ(split("./a/./b"), "a/b");
  EXPECT_EQ(split("a/b/../c"), "a/c");
  EXPECT_EQ(split(".."), "<refused>");
  EXPECT_EQ(split("a/../.."), "<refused>");
  EXPECT_EQ(split("../evil1.txt"), "evil1.txt");
  EXPECT_EQ(split("foo/../../evil2.txt"), "evil2.txt");
  EXPECT_EQ(split("C:..\\x"), "x");
  EXPECT_EQ(split("\\/\\"), "<refused>");
  EXPECT_EQ(split(""), "<refused>");
  EXPECT_EQ(split("..."), "...");  // three dots are a name
}

// The quick look says "plain" only where the split keeps the name as it is.
TEST(EntryPaths, PlainNamesAreThoseTheSplitKeeps) {
  for (const bool backslash : {true, false}) {
    for (std::string_view s : std::initializer_list<std::string_view>{"a/b/c.txt", "a\\b", "/x", "x/", "a//b", "C:x", "ab:c", "./a", "a/.", "a/..", "..", ".", "...", "a/.b/..c",
          "a/b\\..", std::string_view("a\0b", 3), "", "project/source/module7/file_7.txt"}) {
      std::vector<std::string> c;
      std::string cut;
      const bool kept = SplitEntryPath(s, c, nullptr, &cut, backslash) && cut.empty() &&
                        JoinComponents(c, c.size()).size() == s.size();
      size_t parts = 0;
      const bool plain = PlainEntryPath(s, backslash, &parts);
      EXPECT_TRUE(!plain || kept) << s << " backslash " << backslash;
      if (plain) {
        EXPECT_EQ(parts, c.size()) << s;
      }
    }
  }
  size_t parts = 0;
  EXPECT_TRUE(PlainEntryPath("a/b/c.txt", true, &parts));
}

}  // namespace
