// Spanning onto removable disks, with a faked drive: each "disk" is the
// archive file, moved aside as volume .z01, .z02 ... when the next is asked for.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/zip/zidZip.h"
#include "platform/drives.h"
#include "support/testutil.h"
#include "zip_fixture.h"

using namespace zid;
namespace fs = std::filesystem;

namespace {

struct FakeDrive {
  uint32_t serial = 100;
  int64_t free = 0;
  explicit FakeDrive(const std::string& root, int64_t freeBytes) : free(freeBytes) {
    plat::SetDriveQueryHook([this, root](const std::string&, plat::DriveInfo& out, bool) {
      out.root = root + "/";
      out.type = plat::DriveType::Removable;
      out.ready = true;
      out.serial = serial;
      out.freeBytes = free;
      out.totalBytes = free;
      out.fsName = "vfat";
      return true;
    });
  }
  ~FakeDrive() { plat::SetDriveQueryHook(nullptr); }
};

}  // namespace

TEST(ZipSpan, ArchiveThatFitsOnOneDiskHasNoMarker) {
  testutil::TempDir tmp;
  const std::string src = ziptest::MakeTree(tmp);
  FakeDrive drive(tmp.path(), 10'000'000);
  TZip z;
  int asked = 0;
  z.OnInsertSpanDisk = [&](TZipCommon*, const std::string&, bool& cancel) {
    ++asked;
    cancel = false;
  };
  ASSERT_EQ(ziptest::Build(z, tmp.file("one.zip"), src), 7);
  EXPECT_EQ(asked, 0) << "an empty disk with room needs no question";
  const std::string d = testutil::ReadFile(tmp.file("one.zip"));
  EXPECT_EQ(d.substr(0, 4), std::string("PK\x03\x04", 4));
  if (testutil::HaveTool("unzip")) {
    EXPECT_EQ(testutil::Run("unzip -tq " + testutil::ShellQuote(tmp.file("one.zip"))), 0);
  }
}

TEST(ZipSpan, LargeArchiveIsSplitOverDisksThatPeersCanJoin) {
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  testutil::WriteFile(src + "/r1.bin", testutil::RandomBytes(90000, 1));
  testutil::WriteFile(src + "/r2.bin", testutil::RandomBytes(70000, 2));
  testutil::WriteFile(src + "/t.txt", testutil::TextBytes(50000, 3));
  FakeDrive drive(tmp.path(), 70000);
  const std::string arc = tmp.file("set.zip");
  TZip z;
  int disks = 1;
  z.OnInsertSpanDisk = [&](TZipCommon*, const std::string& volume, bool& cancel) {
    EXPECT_EQ(volume, std::to_string(disks + 1));
    char ext[8];
    std::snprintf(ext, sizeof ext, ".z%02d", disks);
    fs::rename(arc, tmp.file(std::string("set") + ext));
    ++disks;
    ++drive.serial;
    cancel = false;
  };
  ASSERT_EQ(ziptest::Build(z, arc, src), 3);
  EXPECT_GE(disks, 3);
  const std::string first = testutil::ReadFile(tmp.file("set.z01"));
  EXPECT_EQ(first.substr(0, 4), std::string("PK\x07\x08", 4)) << "a set starts with the spanning marker";
  if (testutil::HaveTool("zip") && testutil::HaveTool("unzip")) {
    std::string out;
    ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(tmp.path()) + " && zip -q -s 0 set.zip --out joined.zip", &out), 0)
        << out;
    EXPECT_EQ(testutil::Run("unzip -tq " + testutil::ShellQuote(tmp.file("joined.zip")), &out), 0) << out;
  }
}

TEST(ZipSpan, MissingInsertDiskEventReports25270) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("src/r.bin"), testutil::RandomBytes(50000, 1));
  FakeDrive drive(tmp.path(), 30000);
  TZip z;
  std::vector<std::string> named;
  z.OnError = [&](TZipCommon*, const std::string&, const std::string& extra, const std::string&, int code) {
    if (code == 25270) named.push_back(extra);
  };
  EXPECT_EQ(ziptest::Build(z, tmp.file("x.zip"), tmp.file("src")), 0);
  EXPECT_NE(std::find(named.begin(), named.end(), "OnInsertDisk"), named.end());
}
