// The drive query against faked drives: not ready, write-protected,
// unreadable volume, and the spanned-set label.
#include <errno.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBase.h"
#include "engine/base/zidDiskManager.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "support/testutil.h"

using namespace zid;

namespace {

// A drive whose answers the test sets, call by call.
struct FakeDrive {
  int notReadyCalls = 0;      // the first n readiness questions: not ready
  int protectedCalls = 0;     // the first n write questions: protected
  int unreadableCalls = 0;    // the first n questions: volume cannot be read
  std::string label = "DATA";
  int queries = 0;

  bool Answer(const std::string&, plat::DriveInfo& out, bool checkWrite) {
    ++queries;
    out = plat::DriveInfo();
    out.root = "/media/stick/";
    out.fsName = "vfat";
    out.label = label;
    out.serial = 0xABCD;
    out.type = plat::DriveType::Removable;
    out.freeBytes = 1000;
    out.totalBytes = 2000;
    out.ready = true;
    if (notReadyCalls > 0 && !checkWrite) {
      --notReadyCalls;
      out.ready = false;
      out.totalBytes = -1;
      return false;
    }
    if (checkWrite && protectedCalls > 0) {
      --protectedCalls;
      out.writeProtected = true;
      return true;
    }
    if (!checkWrite && unreadableCalls > 0) {
      --unreadableCalls;
      plat::SetLastError(EIO);
      return false;
    }
    return true;
  }
};

class DiskManager : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::SetDriveQueryHook([this](const std::string& p, plat::DriveInfo& out, bool w) {
      return drive.Answer(p, out, w);
    });
    dm.ErrorRoutine = [this](const std::string&, const std::string&, const std::string&, int code) {
      errors.push_back(code);
    };
  }
  void TearDown() override {
    plat::SetDriveQueryHook({});
    plat::SetMessageBoxHook({});
  }
  FakeDrive drive;
  TDiskManager dm;
  std::vector<int> errors;
};

}  // namespace

TEST_F(DiskManager, NotReadyWithoutHandlerFails) {
  drive.notReadyCalls = 1;
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(errors, std::vector<int>{E_NOTACCESSIBLE});
}

TEST_F(DiskManager, NotReadyHandlerRetriesOrCancels) {
  drive.notReadyCalls = 1;
  int asked = 0;
  dm.OnDiskInDrvErr = [&](bool& cancel) {
    EXPECT_TRUE(cancel);  // preset
    ++asked;
    cancel = false;  // "the disk is in now"
  };
  EXPECT_TRUE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(errors.empty());

  drive.notReadyCalls = 1;
  dm.OnDiskInDrvErr = [&](bool&) { ++asked; };  // leaves cancel set
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(errors, std::vector<int>{E_USERCANCELED});
}

TEST_F(DiskManager, WriteProtectedWithAndWithoutHandler) {
  drive.protectedCalls = 1;
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(errors, std::vector<int>{E_WRITEPROTECTED});

  errors.clear();
  drive.protectedCalls = 2;
  int asked = 0;
  dm.OnDiskWriteProtectErr = [&](bool& cancel) {
    ++asked;
    cancel = false;
  };
  EXPECT_TRUE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(errors.empty());

  drive.protectedCalls = 1;
  dm.OnDiskWriteProtectErr = [](bool&) {};
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(errors, std::vector<int>{E_USERCANCELED});
}

TEST_F(DiskManager, UnreadableVolumeAsksRetryOrCancel) {
  // A remote path skips the readiness and write checks and goes straight
  // to the volume information.
  drive.unreadableCalls = 1;
  std::vector<std::string> texts;
  plat::SetMessageBoxHook([&](plat::MsgKind kind, const std::string& caption, const std::string& text) {
    EXPECT_EQ(kind, plat::MsgKind::RetryCancel);
    EXPECT_EQ(caption, plat::ApplicationTitle());
    texts.push_back(text);
    return plat::MsgResult::Retry;
  });
  EXPECT_TRUE(dm.GetDriveInfo("//server/share/a.zip"));
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], "//SERVER/SHARE/\r\n\r\nis not accessible " + plat::ErrorText(EIO));
  EXPECT_EQ(drive.queries, 2);

  // Without a user interface the box answers Cancel.
  plat::SetMessageBoxHook({});
  drive.unreadableCalls = 1;
  EXPECT_FALSE(dm.GetDriveInfo("//server/share/a.zip"));
  EXPECT_EQ(errors, std::vector<int>{E_NOTACCESSIBLE});
}

TEST_F(DiskManager, ResultsAndDiskNumber) {
  drive.label = "PKBACK# 003";
  ASSERT_TRUE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(dm.DiskNumber, 3);
  EXPECT_EQ(dm.VolumeLabel, "PKBACK# 003");
  EXPECT_EQ(dm.SerialNumber, 0xABCDu);
  EXPECT_EQ(dm.SerialHex, "0000ABCD");
  EXPECT_EQ(dm.FileSystemName, "vfat");
  EXPECT_EQ(dm.DriveType, plat::DriveType::Removable);
  EXPECT_EQ(dm.FreeSpace, 1000);
  EXPECT_EQ(dm.TotalSpace, 2000);
  EXPECT_EQ(dm.Drive, "/media/stick/");

  EXPECT_EQ(DiskNumberFromLabel("PKBACK# 1"), 1);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# 12a"), 0);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# "), 0);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK#003"), 0);
  EXPECT_EQ(DiskNumberFromLabel("BACKUP 003"), 0);
  EXPECT_EQ(DiskNumberFromLabel("PKBACK# 99999999999999999999"), 0);
}

TEST_F(DiskManager, ErrorsGoToTheOwner) {
  TZipCommon owner;
  std::vector<int> codes;
  owner.OnError = [&](TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
    codes.push_back(code);
  };
  dm.SetOwner(&owner);
  drive.notReadyCalls = 1;
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(codes, std::vector<int>{E_NOTACCESSIBLE});
  // Without a routine nothing is reported, the query still fails.
  dm.SetOwner(nullptr);
  drive.notReadyCalls = 1;
  EXPECT_FALSE(dm.GetDriveInfo("/media/stick/a.zip"));
  EXPECT_EQ(codes.size(), 1u);
  EXPECT_TRUE(errors.empty());
}

TEST(DiskManagerReal, QueriesTheDriveOfAFolder) {
  testutil::TempDir t;
  TDiskManager dm;
  ASSERT_TRUE(dm.GetDriveInfo(t.file("a.zip")));
  EXPECT_FALSE(dm.Drive.empty());
  EXPECT_EQ(dm.Drive.back(), '/');
  EXPECT_GT(dm.TotalSpace, 0);
  EXPECT_EQ(dm.SerialHex.size(), 8u);
}
