// Hand-made hostile cabinets: each ends with an error, and nothing is read or
// written outside the folders it was given.
#include <gtest/gtest.h>

#include <filesystem>

#include "cab_helpers.h"

namespace {

namespace fs = std::filesystem;
using cabtest::CabBuilder;

struct Hostile {
  const char* what;
  std::function<void(CabBuilder&)> spoil;
  bool listingFails;  // the header records themselves are wrong
};

const Hostile kHostile[] = {
    {"file in a folder the cabinet does not have", [](CabBuilder& b) { b.files[0].folder = 5; }, true},
    {"block claiming more than 32 KiB", [](CabBuilder& b) { b.blocks[0].uncompressed = 40000; }, false},
    {"blocks past the end", [](CabBuilder& b) { b.extraBlocks = 3; b.files[0].size += 3 * 32768; }, false},
    {"file past the end of its folder", [](CabBuilder& b) { b.files[0].size = 0x7FFFFFF0; }, false},
    {"next cabinet outside the folder",
     [](CabBuilder& b) {
       b.next = "../outside.cab";
       b.files[0].folder = plat::cab::kFolderContinuedToNext;
     },
     false},
    {"next cabinet by absolute path",
     [](CabBuilder& b) {
       b.next = "/etc/passwd";
       b.files[0].folder = plat::cab::kFolderContinuedToNext;
     },
     false},
    {"next cabinet is the cabinet itself",
     [](CabBuilder& b) {
       b.next = "in.cab";
       b.files[0].folder = plat::cab::kFolderContinuedToNext;
     },
     false},
};

class CabHostile : public ::testing::TestWithParam<Hostile> {};

TEST_P(CabHostile, EndsWithAnErrorInsideTheTarget) {
  testutil::TempDir dir;
  fs::create_directories(dir.file("cabs"));
  // A cabinet the traversal names would reach; it must never be asked for.
  CabBuilder decoy;
  decoy.AddStored("decoy.txt", "decoy");
  decoy.prev = "in.cab";
  testutil::WriteFile(dir.file("outside.cab"), decoy.Bytes());
  CabBuilder b;
  b.AddStored("data.bin", testutil::TextBytes(50000, 1));
  GetParam().spoil(b);
  testutil::WriteFile(dir.file("cabs/in.cab"), b.Bytes());

  const cabtest::Extracted r = cabtest::ExtractCab(dir.file("cabs/in.cab"), dir.file("out"));
  EXPECT_TRUE(r.stats.archiveFailed || r.stats.failed > 0) << GetParam().what;
  EXPECT_FALSE(r.errors.empty());
  for (const std::string& v : r.volumesAsked) EXPECT_EQ(v.rfind(dir.file("cabs/"), 0), 0u) << v;
  for (const auto& e : fs::recursive_directory_iterator(dir.path())) {
    const std::string p = e.path().string();
    EXPECT_TRUE(p == dir.file("cabs") || p == dir.file("out") || p == dir.file("outside.cab") ||
                p.rfind(dir.file("cabs/in.cab"), 0) == 0)
        << p;
  }
  std::vector<int> errors;
  cabtest::ListCab(dir.file("cabs/in.cab"), &errors);
  if (GetParam().listingFails) {
    EXPECT_EQ(errors, std::vector<int>{zid::E_BADFILEHEADER});
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CabHostile, ::testing::ValuesIn(kHostile),
                         [](const ::testing::TestParamInfo<Hostile>& info) {
                           std::string name = info.param.what;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// MSZIP blocks that do not decode: each ends the file with the error that
// says why, never a crash or a hang; the unspoiled cabinet reads back.
struct SpoiledBlock {
  const char* what;
  std::function<void(CabBuilder&)> spoil;
  int detail;  // erfType of the failure; erfDetailNone: reads back
};

const SpoiledBlock kSpoiledBlocks[] = {
    {"intact", [](CabBuilder&) {}, plat::cab::erfDetailNone},
    {"no CK signature", [](CabBuilder& b) { b.blocks[1].data[0] = 'X'; }, plat::cab::erfDetailBadData},
    {"invalid deflate block type", [](CabBuilder& b) { b.blocks[1].data = "CK\xFF\xFF"; }, plat::cab::erfDetailBadData},
    {"stream cut short", [](CabBuilder& b) { b.blocks[1].data.resize(100); }, plat::cab::erfDetailBadData},
    {"block unpacks to more than it says", [](CabBuilder& b) { b.blocks[0].uncompressed = 32767; },
     plat::cab::erfDetailBadData},
    {"block unpacks to less than it says", [](CabBuilder& b) { b.blocks.back().uncompressed = 32768; },
     plat::cab::erfDetailBadData},
    {"reference before the folder's start",
     [](CabBuilder& b) {
       b.blocks.clear();
       b.files.clear();
       b.AddMsZip("data.bin", testutil::TextBytes(5000, 1), testutil::TextBytes(5000, 1));
     },
     plat::cab::erfDetailBadData},
    {"cut block with no next cabinet", [](CabBuilder& b) { b.blocks.back().uncompressed = 0; },
     plat::cab::erfDetailBadData},
    {"bad checksum", [](CabBuilder& b) { b.blocks[1].badChecksum = true; }, plat::cab::erfDetailBadChecksum},
    {"cabinet cut inside a block",
     [](CabBuilder& b) { b.extraBlocks = 1; b.files[0].size += 10; }, plat::cab::erfDetailTruncated},
};

class CabSpoiledMsZip : public ::testing::TestWithParam<SpoiledBlock> {};

TEST_P(CabSpoiledMsZip, EndsWithTheErrorThatSaysWhy) {
  testutil::TempDir dir;
  CabBuilder b;
  const std::string data = testutil::TextBytes(100000, 3);
  b.AddMsZip("data.bin", data);
  GetParam().spoil(b);
  testutil::WriteFile(dir.file("in.cab"), b.Bytes());
  std::map<std::string, std::string> got;
  plat::cab::ERF erf;
  const bool ok = cabtest::ReadAll(dir.path(), "in.cab", got, &erf);
  if (GetParam().detail == plat::cab::erfDetailNone) {
    ASSERT_TRUE(ok) << erf.erfOper << "/" << erf.erfType;
    EXPECT_TRUE(got["data.bin"] == data);
  } else {
    EXPECT_FALSE(ok);
    EXPECT_EQ(erf.erfOper, plat::cab::FDIERROR_CORRUPT_CABINET);
    EXPECT_EQ(erf.erfType, GetParam().detail);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CabSpoiledMsZip, ::testing::ValuesIn(kSpoiledBlocks),
                         [](const ::testing::TestParamInfo<SpoiledBlock>& info) {
                           std::string name = info.param.what;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// A cabinet that names itself as the next one ends after itself.
TEST(CabHostile, SelfNamedNextCabinetEndsAfterItself) {
  testutil::TempDir dir;
  CabBuilder b;
  b.AddStored("a.txt", "a");
  b.next = "self.cab";
  testutil::WriteFile(dir.file("self.cab"), b.Bytes());
  const cabtest::Extracted r = cabtest::ExtractCab(dir.file("self.cab"), dir.file("out"));
  EXPECT_EQ(r.stats.passed, 1);
  EXPECT_TRUE(r.volumesAsked.empty());
  EXPECT_EQ(cabtest::ListCab(dir.file("self.cab")).size(), 1u);
}

}  // namespace
