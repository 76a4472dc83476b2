// The cabinet library on its own: FCI writes, FDI and the peers read back.
#include <gtest/gtest.h>

#include "cab_helpers.h"

namespace {

namespace cab = plat::cab;
using cabtest::MakeFci;
using cabtest::OpenInfo;
using cabtest::ReadAll;

struct Source {
  std::string name;
  std::string data;
};

std::vector<Source> Sources(int kind) {
  switch (kind) {
    case 0: return {{"empty.txt", ""}};
    case 1: return {{"a.txt", testutil::TextBytes(1000, 1)}, {"dir\\b.txt", testutil::TextBytes(40000, 2)}};
    case 2: return {{"big.txt", testutil::TextBytes(200000, 3)}, {"rnd.bin", testutil::RandomBytes(70000, 4)},
                    {"zero.bin", std::string(100000, '\0')}, {"e", ""}};
    default: return {};
  }
}

// Writes the sources into dir/name with ccab's limits; false when FCI failed.
bool WriteCabinet(const testutil::TempDir& dir, cab::CCAB ccab, const std::vector<Source>& src, cab::TCOMP type,
                  cab::ERF* erf, int* cabinets = nullptr) {
  ccab.szCabPath = dir.path() + "/";
  int made = 1;
  cab::HFCI fci = MakeFci(erf, ccab, dir.path());
  if (fci == nullptr) return false;
  auto next = [&](cab::CCAB& c, uint32_t) {
    c.szCab = "part" + std::to_string(c.iCab + 1) + ".cab";
    c.szDisk = "disk " + std::to_string(c.iCab + 1);
    ++made;
    return true;
  };
  bool ok = true;
  for (const Source& s : src) {
    const std::string path = dir.file("src_" + std::to_string(&s - src.data()));
    testutil::WriteFile(path, s.data);
    ok = ok && cab::FCIAddFile(fci, path, s.name, false, next, nullptr, OpenInfo(), type);
  }
  ok = ok && cab::FCIFlushCabinet(fci, false, next, nullptr);
  cab::FCIDestroy(fci);
  if (cabinets) *cabinets = made;
  return ok;
}

class CabinetRoundTrip : public ::testing::TestWithParam<std::tuple<int, cab::TCOMP>> {};

TEST_P(CabinetRoundTrip, ReadBackByUsAndPeers) {
  const auto [kind, type] = GetParam();
  testutil::TempDir dir;
  cab::CCAB ccab;
  ccab.szCab = "out.cab";
  cab::ERF erf;
  const std::vector<Source> src = Sources(kind);
  ASSERT_TRUE(WriteCabinet(dir, ccab, src, type, &erf)) << erf.erfOper;
  std::map<std::string, std::string> got;
  ASSERT_TRUE(ReadAll(dir.path(), "out.cab", got));
  ASSERT_EQ(got.size(), src.size());
  for (const Source& s : src) EXPECT_EQ(got[s.name], s.data) << s.name;
  if (testutil::HaveTool("cabextract")) {
    std::string out;
    EXPECT_EQ(testutil::Run("cabextract -t " + testutil::ShellQuote(dir.file("out.cab")), &out), 0) << out;
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CabinetRoundTrip,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(cab::tcompTYPE_NONE, cab::tcompTYPE_MSZIP)));

// A cabinet limit small enough to split folders (and files) over a set.
TEST(Cabinet, SetsSplitFoldersAcrossCabinets) {
  REQUIRE_TOOL("cabextract");
  for (cab::TCOMP type : {cab::tcompTYPE_NONE, cab::tcompTYPE_MSZIP}) {
    testutil::TempDir dir;
    cab::CCAB ccab;
    ccab.szCab = "part1.cab";
    ccab.cb = 30000;
    ccab.cbReserveCFData = 4;
    ccab.setID = 77;
    cab::ERF erf;
    int cabinets = 0;
    const std::vector<Source> src = Sources(2);
    ASSERT_TRUE(WriteCabinet(dir, ccab, src, type, &erf, &cabinets)) << erf.erfOper;
    EXPECT_GT(cabinets, 2);
    std::map<std::string, std::string> got;
    ASSERT_TRUE(ReadAll(dir.path(), "part1.cab", got));
    for (const Source& s : src) EXPECT_EQ(got[s.name], s.data) << s.name;
    std::string out;
    EXPECT_EQ(testutil::Run("cd " + testutil::ShellQuote(dir.path()) + " && cabextract -q -d x part1.cab", &out), 0)
        << out;
    for (const Source& s : src) EXPECT_EQ(testutil::ReadFile(dir.file("x/" + s.name)), s.data) << s.name;
    if (testutil::HaveTool("7zz")) {
      EXPECT_EQ(testutil::Run("7zz t " + testutil::ShellQuote(dir.file("part1.cab")), &out), 0) << out;
    }
  }
}

// MSZIP blocks are compressed on several threads: the cabinet's bytes are
// the same for one worker and for four, and the peers test it clean.
TEST(Cabinet, MsZipBytesDoNotDependOnWorkers) {
  testutil::TempDir dir;
  std::vector<Source> src = Sources(2);
  src.push_back({"long.txt", testutil::TextBytes(600000, 9)});
  std::string first;
  for (int workers : {1, 4}) {
    cab::CCAB ccab;
    ccab.szCab = "w" + std::to_string(workers) + ".cab";
    ccab.cWorkers = workers;
    cab::ERF erf;
    ASSERT_TRUE(WriteCabinet(dir, ccab, src, cab::tcompTYPE_MSZIP, &erf)) << erf.erfOper;
    const std::string bytes = testutil::ReadFile(dir.file(ccab.szCab));
    if (first.empty()) first = bytes;
    EXPECT_TRUE(bytes == first) << workers;
  }
  std::string out;
  for (const std::string peer : {"cabextract -t ", "7zz t "}) {
    if (!testutil::HaveTool(peer.substr(0, peer.find(' ')))) continue;
    EXPECT_EQ(testutil::Run(peer + testutil::ShellQuote(dir.file("w4.cab")), &out), 0) << peer << out;
  }
}

// Only stored and MSZIP folders can be written; everything else fails
// before the source is read and leaves the context usable.
TEST(Cabinet, UnwritableCompressionValuesFail) {
  testutil::TempDir dir;
  cab::CCAB ccab;
  ccab.szCab = "t.cab";
  ccab.szCabPath = dir.path() + "/";
  cab::ERF erf;
  cab::HFCI fci = MakeFci(&erf, ccab, dir.path());
  ASSERT_NE(fci, nullptr);
  testutil::WriteFile(dir.file("s"), "hello");
  for (cab::TCOMP t : {cab::TCOMP{0x1503}, cab::TCOMP{0x1571}, cab::TCOMP{0x0002}, cab::TCOMP{0x0003},
                       cab::TCOMP{0x0004}, cab::TCOMP{0x0101}}) {
    EXPECT_FALSE(cab::FCIAddFile(fci, dir.file("s"), "s", false, nullptr, nullptr, OpenInfo(), t)) << t;
    EXPECT_EQ(erf.erfOper, cab::FCIERR_BAD_COMPR_TYPE);
  }
  EXPECT_TRUE(cab::FCIAddFile(fci, dir.file("s"), "s", false, nullptr, nullptr, OpenInfo(), cab::tcompTYPE_MSZIP));
  EXPECT_TRUE(cab::FCIFlushCabinet(fci, false, nullptr, nullptr));
  cab::FCIDestroy(fci);
  std::map<std::string, std::string> got;
  ASSERT_TRUE(ReadAll(dir.path(), "t.cab", got));
  EXPECT_EQ(got["s"], "hello");
}

// The SDK protocol without copy(): a handle from fdintCOPY_FILE, the data
// written to it, then fdintCLOSE_FILE_INFO.
TEST(Cabinet, CopyFileHandleProtocol) {
  testutil::TempDir dir;
  cab::CCAB ccab;
  ccab.szCab = "t.cab";
  cab::ERF erf;
  ASSERT_TRUE(WriteCabinet(dir, ccab, Sources(1), cab::tcompTYPE_MSZIP, &erf));
  cab::HFDI fdi = cabtest::MakeFdi(&erf);
  std::vector<std::string> events;
  const bool ok = cab::FDICopy(fdi, "t.cab", dir.path() + "/", 0, [&](cab::FDINOTIFICATIONTYPE t, cab::FDINOTIFICATION& n) -> cab::FileHandle {
    if (t == cab::fdintCOPY_FILE) {
      events.push_back("copy " + n.psz1);
      return ::open(dir.file(std::to_string(events.size())).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (t == cab::fdintCLOSE_FILE_INFO) {
      events.push_back("close " + n.psz1);
      ::close(static_cast<int>(n.hf));
      return 1;
    }
    return 0;
  });
  cab::FDIDestroy(fdi);
  ASSERT_TRUE(ok) << erf.erfOper;
  EXPECT_EQ(events, (std::vector<std::string>{"copy a.txt", "close a.txt", "copy dir\\b.txt", "close dir\\b.txt"}));
  EXPECT_EQ(testutil::ReadFile(dir.file("3")), testutil::TextBytes(40000, 2));
}

}  // namespace
