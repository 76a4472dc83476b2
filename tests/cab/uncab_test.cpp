// CAB extraction and listing against the corpus and cabextract, cabinets
// made by gcab, sets, and the extractor's edge cases.
#include <gtest/gtest.h>

#include <filesystem>

#include "cab_helpers.h"

namespace {

namespace fs = std::filesystem;
using cabtest::ExtractCab;
using cabtest::ListCab;
using cabtest::PeerList;

// Every file below root: relative name -> content. Names that are not UTF-8
// are read as CP437, as the engine reads names without the UTF-8 mark.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), root).string();
    if (!plat::IsValidUtf8(rel)) rel = plat::OemToAnsi(rel);
    out[rel] = testutil::ReadFile(e.path().string());
  }
  return out;
}

// Nothing but the output folder may appear in the test's folder.
void ExpectOnlyOutput(const testutil::TempDir& dir) {
  for (const auto& e : fs::directory_iterator(dir.path())) EXPECT_EQ(e.path().filename(), "out") << e.path();
}

enum class Kind { Good, Hostile };
struct CorpusCab {
  const char* path;
  Kind kind;
};

const CorpusCab kCorpus[] = {
    {"cabextract__case-utf8.cab", Kind::Good},
    {"cabextract__dir.cab", Kind::Good},
    {"cabextract__encoding-latin1.cab", Kind::Good},
    {"cabextract__encoding-sjis.cab", Kind::Good},
    {"cabextract__large-files-cab.cab", Kind::Good},
    {"cabextract__mixed.cab", Kind::Good},
    {"cabextract__simple.cab", Kind::Good},
    {"libarchive__cab_1.cab", Kind::Good},
    {"libarchive__cab_2.cab", Kind::Good},
    {"libarchive__cab_3.cab", Kind::Good},
    {"libarchive__filename_cp932.cab", Kind::Good},
    {"libarchive__lzx_16bit.cab", Kind::Good},
    {"libarchive__lzx_e8.cab", Kind::Good},
    {"libmspack__hidden-files.cab", Kind::Good},
    {"libmspack__mszip_lzx_qtm.cab", Kind::Good},
    {"libmspack__normal_255c_filename.cab", Kind::Good},
    {"libmspack__normal_2files_1folder.cab", Kind::Good},
    {"libmspack__normal_2files_2folders.cab", Kind::Good},
    {"libmspack__reserve_H--.cab", Kind::Good},
    {"libmspack__reserve_HFD.cab", Kind::Good},
    {"patool__t.cab", Kind::Good},
    {"cabextract_split/Split-1.CAB", Kind::Good},
    {"libarchive_multi/test_read_format_cab_multi.p1.cab", Kind::Good},
    {"libmspack_multi_basic/cabd_multi_basic_pt1.cab", Kind::Good},
    {"cabextract__dirwalk-vulns.cab", Kind::Hostile},
    {"libmspack__bad_signature.cab", Kind::Hostile},
    {"libmspack__cve-2010-2800-mszip-infinite-loop.cab", Kind::Hostile},
    {"libmspack__cve-2014-9556-qtm-infinite-loop.cab", Kind::Hostile},
    {"libmspack__cve-2015-4471-lzx-under-read.cab", Kind::Hostile},
    {"libmspack__partial_nodata.cab", Kind::Hostile},
    {"libmspack__partial_shortfile1.cab", Kind::Hostile},
    // cabextract__search.cab and libmspack__search_basic.cab hold cabinets
    // behind other data, which detection does not take for cabinets.
};

class CabCorpus : public ::testing::TestWithParam<CorpusCab> {};

TEST_P(CabCorpus, ExtractsAndListsAsCabextract) {
  if (testutil::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("cabextract");
  const std::string path = testutil::CorpusDir() + "/cab/" + GetParam().path;
  testutil::TempDir dir;
  // cabextract reads names without the UTF attribute as CP437.
  const cabtest::Extracted r = ExtractCab(path, dir.file("out"), [](zid::TUnCab& u) { u.NameCharset = "CP437"; });
  ExpectOnlyOutput(dir);
  if (GetParam().kind == Kind::Hostile) {
    EXPECT_TRUE(r.stats.archiveFailed || r.stats.failed > 0) << "no error reported";
    return;
  }
  EXPECT_FALSE(r.stats.archiveFailed);
  EXPECT_EQ(r.stats.failed, 0);
  EXPECT_TRUE(r.errors.empty()) << r.errors.front();
  testutil::TempDir peer;
  ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(peer.path()) + " && cabextract -q " + testutil::ShellQuote(path)),
            0);
  EXPECT_TRUE(Tree(dir.file("out")) == Tree(peer.path()));

  const std::vector<cabtest::ListedEntry> ours = ListCab(path, nullptr, "CP437");
  const std::vector<cabtest::ListedEntry> theirs = PeerList(path);
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].name, theirs[i].name);
    EXPECT_EQ(ours[i].size, theirs[i].size) << ours[i].name;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CabCorpus, ::testing::ValuesIn(kCorpus),
                         [](const ::testing::TestParamInfo<CorpusCab>& info) {
                           std::string name = fs::path(info.param.path).stem().string();
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Cabinets gcab makes, stored and MSZIP, extract byte for byte.
TEST(UnCab, GcabCabinetsExtractByteExact) {
  REQUIRE_TOOL("gcab");
  testutil::TempDir dir;
  const std::map<std::string, std::string> files = {{"a.txt", testutil::TextBytes(70000, 5)},
                                                    {"sub/b.bin", testutil::RandomBytes(40000, 6)},
                                                    {"café.txt", "accent"},
                                                    {"empty", ""}};
  fs::create_directories(dir.file("src/sub"));
  std::string args;
  for (const auto& [name, data] : files) {
    testutil::WriteFile(dir.file("src/" + name), data);
    args += " " + testutil::ShellQuote(name);
  }
  for (const std::string flags : {"-c", "-cz"}) {
    const std::string cabinet = dir.file("g" + flags + ".cab");
    ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(dir.file("src")) + " && gcab " + flags + " " +
                            testutil::ShellQuote(cabinet) + args),
              0);
    testutil::TempDir out;
    const cabtest::Extracted r = ExtractCab(cabinet, out.path());
    EXPECT_EQ(r.stats.passed, 4) << flags;
    EXPECT_TRUE(Tree(out.path()) == files) << flags;
  }
}

// A set of three cabinets made with a small cabinet size: the first one
// asks for the others, the totals are counted again for each, and a set
// started from its middle reports what began before it.
TEST(UnCab, SetsFollowNextCabinetsAndReportMissingStarts) {
  testutil::TempDir dir;
  cabtest::cab::CCAB ccab;
  ccab.szCab = "set1.cab";
  ccab.szCabPath = dir.path() + "/";
  ccab.cb = 30000;
  cabtest::cab::ERF erf;
  cabtest::cab::HFCI fci = cabtest::MakeFci(&erf, ccab, dir.path());
  const std::string big = testutil::RandomBytes(70000, 9);
  testutil::WriteFile(dir.file("src1"), "first");
  testutil::WriteFile(dir.file("src2"), big);
  testutil::WriteFile(dir.file("src3"), "last");
  auto next = [](cabtest::cab::CCAB& c, uint32_t) {
    c.szCab = "set" + std::to_string(c.iCab + 1) + ".cab";
    return true;
  };
  for (const char* n : {"1", "2", "3"})
    ASSERT_TRUE(cabtest::cab::FCIAddFile(fci, dir.file(std::string("src") + n), std::string("f") + n, false, next,
                                         nullptr, cabtest::OpenInfo(), cabtest::cab::tcompTYPE_MSZIP));
  ASSERT_TRUE(cabtest::cab::FCIFlushCabinet(fci, false, next, nullptr));
  cabtest::cab::FCIDestroy(fci);
  ASSERT_TRUE(fs::exists(dir.file("set3.cab")));

  int64_t lastTotal = 0;
  std::vector<int64_t> totals;
  const cabtest::Extracted r = ExtractCab(dir.file("set1.cab"), dir.file("out"), [&](zid::TUnCab& un) {
    un.OnBegin = [&](zid::TZipCommon* s, const std::string&, int, bool&) {
      if (s->BytesTotal != lastTotal) totals.push_back(lastTotal = s->BytesTotal);
    };
  });
  EXPECT_EQ(r.stats.passed, 3);
  EXPECT_EQ(r.volumesAsked.size(), 2u);
  EXPECT_TRUE(testutil::ReadFile(dir.file("out/f2")) == big);
  EXPECT_EQ(testutil::ReadFile(dir.file("out/f3")), "last");
  EXPECT_GE(totals.size(), 2u);
  std::vector<cabtest::ListedEntry> listed = ListCab(dir.file("set1.cab"));
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1].name, "f2");

  const cabtest::Extracted middle = ExtractCab(dir.file("set2.cab"), dir.file("mid"));
  EXPECT_NE(std::find(middle.errors.begin(), middle.errors.end(), zid::kErrFirstDiskOfSet), middle.errors.end());
}

// The extractor's own rules: excluded files are never opened, an output that
// cannot be created costs that entry only, and without the library nothing runs.
TEST(UnCab, SelectionOutputFailureAndMissingLibrary) {
  testutil::TempDir dir;
  cabtest::CabBuilder b;
  b.AddStored("keep.txt", "kept");
  b.AddStored("skip.log", "skipped");
  b.AddStored("after.txt", "after");
  testutil::WriteFile(dir.file("t.cab"), b.Bytes());

  std::vector<std::string> begun;
  cabtest::Extracted r = ExtractCab(dir.file("t.cab"), dir.file("a"), [&](zid::TUnCab& un) {
    un.FileSpec = {"*.txt"};
    un.OnBegin = [&](zid::TZipCommon*, const std::string& name, int, bool&) { begun.push_back(name); };
  });
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(begun.size(), 2u);
  EXPECT_FALSE(fs::exists(dir.file("a/skip.log")));

  fs::create_directories(dir.file("b/keep.txt"));  // a folder where the first output goes
  r = ExtractCab(dir.file("t.cab"), dir.file("b"));
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.stats.failed, 1);
  EXPECT_EQ(testutil::ReadFile(dir.file("b/after.txt")), "after");
  EXPECT_EQ(std::find(r.errors.begin(), r.errors.end(), zid::E_USERCANCELED), r.errors.end());

  zid::CabinetLibraryPresent() = false;
  r = ExtractCab(dir.file("t.cab"), dir.file("c"));
  zid::CabinetLibraryPresent() = true;
  EXPECT_EQ(r.errors, std::vector<int>{zid::E_CABDLL});
  EXPECT_TRUE(r.stats.archiveFailed);
}

}  // namespace
