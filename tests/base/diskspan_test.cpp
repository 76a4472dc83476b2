// Switching the disks of a spanned ZIP set, on a faked removable drive.
#include <gtest/gtest.h>

#include "engine/base/zidDiskSpan.h"
#include "engine/base/zidUnBase.h"
#include "platform/drives.h"
#include "support/testutil.h"

using namespace zid;

namespace {

class TOwner : public TUnBase {
 protected:
  void ProcessArchive() override {}
};

std::string LocalHeaderAt(size_t offset) {
  std::string s(offset, 'x');
  s += std::string("PK\x03\x04", 4);
  s += std::string(40, '\0');
  return s;
}

class DiskSpan : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetDriveQueryHook([this](const std::string&, plat::DriveInfo& out, bool) {
      out.root = "/media/floppy/";
      out.type = plat::DriveType::Removable;
      out.ready = true;
      out.label = label;
      out.totalBytes = 1474560;
      out.freeBytes = 1000;
      return true;
    });
    file = tmp.file("disk.zip");
    owner.Detection().ArchiveFile = file;
    owner.Detection().ArcType = atZipDS;
    owner.OnError = [this](TZipCommon*, const std::string&, const std::string& ext, const std::string&, int c) {
      codes.emplace_back(c, ext);
    };
  }
  void TearDown() override { plat::SetDriveQueryHook(nullptr); }
  testutil::TempDir tmp;
  std::string file;
  std::string label = "PKBACK# 001";
  TOwner owner;
  std::vector<std::pair<int, std::string>> codes;
};

TEST_F(DiskSpan, FirstDiskIsAskedForUntilTheRecordIsThere) {
  testutil::WriteFile(file, std::string(100, 'z'));
  TDiskSpannObj span(owner);
  span.DiskCounter = 1;
  int asked = 0;
  owner.OnGetZipFirstDisk = [&](TZipCommon*, bool& cancel) {
    ++asked;
    testutil::WriteFile(file, LocalHeaderAt(10));  // the user inserts the right disk
    cancel = false;
  };
  EXPECT_TRUE(span.SwitchDisk(10, 0));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(span.DiskCounter, 2);
  EXPECT_EQ(owner.ArchiveSize(), 54);
}

TEST_F(DiskSpan, NextDiskGetsTheCounterAsTextAndCancelFails) {
  testutil::WriteFile(file, std::string(100, 'z'));
  TDiskSpannObj span(owner);
  span.DiskCounter = 2;
  std::string shown;
  owner.OnGetZipNextDisk = [&](TZipCommon*, const std::string& name, bool&) { shown = name; };
  EXPECT_FALSE(span.SwitchDisk(10, 1));
  EXPECT_EQ(shown, "2");
  EXPECT_TRUE(owner.Cancelled());
}

TEST_F(DiskSpan, ShortFileOnTheWantedDiskNumberIsTheRightDisk) {
  testutil::WriteFile(file, "tiny");
  label = "PKBACK# 003";
  TDiskSpannObj span(owner);
  span.DiskCounter = 2;
  owner.OnGetZipNextDisk = [](TZipCommon*, const std::string&, bool&) { FAIL() << "no question expected"; };
  EXPECT_TRUE(span.SwitchDisk(5000, 3));
}

TEST_F(DiskSpan, MissingEventIsReportedByName) {
  testutil::WriteFile(file, LocalHeaderAt(0));
  TDiskSpannObj span(owner);
  span.DiskCounter = 1;
  EXPECT_FALSE(span.SwitchDisk(0, 0));
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0], std::make_pair(int(E_REQUIREDEVENT), std::string("OnGetZipFirstDisk")));
}

}  // namespace
