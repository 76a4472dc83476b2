// Temporary archive streams: publishing by rename or copy, cancel, disk full.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidTempStreams.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "support/testutil.h"

namespace zid {
namespace {

using testutil::ReadFile;
using testutil::WriteFile;

// Files in a folder whose names start with "zid" (temporary files left over).
std::vector<std::string> Leftovers(const std::string& dir) {
  std::vector<plat::FindData> all;
  plat::ListDirectory(dir, all);
  std::vector<std::string> out;
  for (const auto& f : all)
    if (f.name.rfind("zid", 0) == 0) out.push_back(f.name);
  return out;
}

// Records what the stream asked of its owner.
class RecordingOwner : public TTempStreamOwner {
 public:
  void TmpMoveBegin(TStream32&, const std::string&, bool* cancel, const std::string& tempName) override {
    events.push_back("begin");
    beginTemp = tempName;
    if (cancelInBegin) *cancel = true;
  }
  void TmpMove(TStream32& s, const std::string& finalName, bool sameDrive, const std::string& tempName) override {
    events.push_back(sameDrive ? "move-same" : "move-copy");
    TTempStreamOwner::TmpMove(s, finalName, sameDrive, tempName);
  }
  void TmpMoveEnd(TStream32&, const std::string&) override { events.push_back("end"); }
  void TmpProgress(const std::string&, int64_t done, int64_t total) override {
    lastDone = done;
    lastTotal = total;
    ++progressCalls;
  }
  void TmpReportError(int code, const std::string&) override { errors.push_back(code); }

  bool cancelInBegin = false;
  std::vector<std::string> events;
  std::string beginTemp;
  std::vector<int> errors;
  int64_t lastDone = 0, lastTotal = 0;
  int progressCalls = 0;
};

// A target that fails every write as a full disk does.
class FullDisk : public TStream32 {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t) override {
    plat::SetLastError(ENOSPC);
    return 0;
  }
  int64_t Seek(int64_t, int) override { return 0; }
};

class FullDiskOwner : public RecordingOwner {
 protected:
  std::unique_ptr<TStream32> TmpCreateTarget(const std::string&) override { return std::make_unique<FullDisk>(); }
};

// Every path below the "other" folder lives on another file system.
uint64_t FakeFsId(const std::string& path) { return path.find("/other") != std::string::npos ? 2 : 1; }
struct FsHookGuard {
  FsHookGuard() { plat::SetFileSystemIdHook(FakeFsId); }
  ~FsHookGuard() { plat::SetFileSystemIdHook(nullptr); }
};

TEST(TempFileStream, CancelledLeavesFinalUntouchedAndNoTemp) {
  testutil::TempDir dir;
  const std::string final = dir.file("arc.zip");
  WriteFile(final, "old archive");
  bool cancel = false;
  RecordingOwner owner;
  {
    TTempFileStream t(&owner, plat::fmCreate, final, dir.path(), &cancel);
    ASSERT_GE(t.Handle(), 0);
    ASSERT_TRUE(t.IsTemp());
    t.WriteBuffer("new", 3);
    EXPECT_EQ(Leftovers(dir.path()).size(), t.IsUnnamed() ? 0u : 1u);
    cancel = true;
    EXPECT_FALSE(t.Publish());
  }
  EXPECT_EQ(ReadFile(final), "old archive");
  EXPECT_TRUE(Leftovers(dir.path()).empty());
  EXPECT_TRUE(owner.events.empty());

  // Cancelled by the owner's move-begin step.
  owner.cancelInBegin = true;
  cancel = false;
  {
    TTempFileStream t(&owner, plat::fmCreate, final, dir.path(), &cancel);
    t.WriteBuffer("new", 3);
    EXPECT_FALSE(t.Publish());
    EXPECT_EQ(owner.beginTemp, t.TempName());
  }
  EXPECT_EQ(owner.events, std::vector<std::string>{"begin"});
  EXPECT_EQ(ReadFile(final), "old archive");
  EXPECT_TRUE(Leftovers(dir.path()).empty());
}

TEST(TempFileStream, DestroyedUnpublishedOnlyCleansUp) {
  testutil::TempDir dir;
  const std::string final = dir.file("arc.zip");
  {
    TTempFileStream t(nullptr, plat::fmCreate, final, dir.path());
    t.WriteBuffer("abandoned", 9);
  }
  EXPECT_FALSE(plat::FileExists(final));
  EXPECT_TRUE(Leftovers(dir.path()).empty());
}

TEST(TempFileStream, SameFileSystemRenamesAndFiresMoveEndForLargeArchives) {
  testutil::TempDir dir;
  const std::string final = dir.file("arc.zip");
  WriteFile(final, "old");
  RecordingOwner owner;
  const std::string big = testutil::RandomBytes(70000, 1);
  {
    // A temporary folder that does not exist yet is created.
    TTempFileStream t(&owner, plat::fmCreate, final, dir.file("tmp/sub"));
    ASSERT_GE(t.Handle(), 0);
    EXPECT_EQ(t.TempFolder(), dir.file("tmp/sub"));
    t.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
    EXPECT_TRUE(t.Publish());
    EXPECT_FALSE(t.Publish());  // once only
  }
  EXPECT_EQ(ReadFile(final), big);
  EXPECT_EQ(owner.events, (std::vector<std::string>{"begin", "move-same", "end"}));
  EXPECT_TRUE(Leftovers(dir.file("tmp/sub")).empty());

  // Small archives skip the move-end step.
  RecordingOwner small;
  TTempFileStream t(&small, plat::fmCreate, final, dir.path());
  t.WriteBuffer("tiny", 4);
  EXPECT_TRUE(t.Publish());
  EXPECT_EQ(small.events, (std::vector<std::string>{"begin", "move-same"}));
  EXPECT_EQ(ReadFile(final), "tiny");
}

TEST(TempFileStream, OtherFileSystemCopiesWithProgress) {
  FsHookGuard hook;
  testutil::TempDir dir;
  ASSERT_TRUE(plat::ForceDirectories(dir.file("other")));
  const std::string final = dir.file("other/arc.zip");
  WriteFile(final, "old");
  const std::string data = testutil::RandomBytes(250000, 2);
  RecordingOwner owner;
  {
    TTempFileStream t(&owner, plat::fmCreate, final, dir.path());
    t.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(t.Publish());
  }
  EXPECT_EQ(ReadFile(final), data);
  EXPECT_EQ(owner.events, (std::vector<std::string>{"begin", "move-copy", "end"}));
  EXPECT_EQ(owner.progressCalls, 3);  // 100,000-byte chunks
  EXPECT_EQ(owner.lastDone, 250000);
  EXPECT_EQ(owner.lastTotal, 250000);
  EXPECT_TRUE(Leftovers(dir.path()).empty());
  EXPECT_TRUE(Leftovers(dir.file("other")).empty());
}

TEST(TempFileStream, DiskFullReportsAndKeepsOldArchive) {
  FsHookGuard hook;
  testutil::TempDir dir;
  ASSERT_TRUE(plat::ForceDirectories(dir.file("other")));
  const std::string final = dir.file("other/arc.zip");
  WriteFile(final, "old archive");
  FullDiskOwner owner;
  TTempFileStream t(&owner, plat::fmCreate, final, dir.path());
  t.WriteBuffer("new archive", 11);
  try {
    t.Publish();
    FAIL() << "no exception";
  } catch (const E_RAISE& e) {
    EXPECT_EQ(std::string(e.what()), LoadStr(E_DISKFULL));
  }
  EXPECT_EQ(owner.errors, std::vector<int>{E_DISKFULL});
  EXPECT_EQ(ReadFile(final), "old archive");
  EXPECT_TRUE(Leftovers(dir.path()).empty());
  EXPECT_TRUE(Leftovers(dir.file("other")).empty());
}

TEST(TempFileStream, OtherModesOpenTheFinalFileDirectly) {
  testutil::TempDir dir;
  const std::string final = dir.file("arc.zip");
  WriteFile(final, "content");
  TTempFileStream t(nullptr, plat::fmOpenRead, final, dir.path());
  EXPECT_FALSE(t.IsTemp());
  char buf[7];
  t.ReadBuffer(buf, 7);
  EXPECT_EQ(std::string(buf, 7), "content");
  EXPECT_TRUE(t.Publish());
  EXPECT_EQ(ReadFile(final), "content");

  TTempFileStream missing(nullptr, plat::fmOpenRead, dir.file("none"), dir.path());
  EXPECT_LT(missing.Handle(), 0);
}

TEST(TempMemStream, PublishWritesTheBlockAndCancelWritesNothing) {
  testutil::TempDir dir;
  const std::string final = dir.file("mem.zip");
  WriteFile(final, "old");
  bool cancel = false;
  RecordingOwner owner;
  {
    TTempMemStream m(&owner, plat::fmCreate, final, &cancel);
    m.WriteBuffer("from memory", 11);
    EXPECT_TRUE(m.Publish());
  }
  EXPECT_EQ(ReadFile(final), "from memory");
  EXPECT_EQ(owner.events, (std::vector<std::string>{"begin", "move-copy", "end"}));
  EXPECT_EQ(owner.beginTemp, kMemTempName);
  {
    TTempMemStream m(&owner, plat::fmCreate, final, &cancel);
    m.WriteBuffer("dropped", 7);
    cancel = true;
    EXPECT_FALSE(m.Publish());
  }
  EXPECT_EQ(ReadFile(final), "from memory");
  EXPECT_TRUE(Leftovers(dir.path()).empty());
}

}  // namespace
}  // namespace zid

namespace zid {
namespace {

uint32_t ModeOf(const std::string& path) { return plat::FileStat(path).mode & 0777; }

TEST(TempFileStream, PublishedArchiveGetsUsualOrPreviousPermissions) {
  for (bool otherFs : {false, true}) {
    FsHookGuard hook;
    if (!otherFs) plat::SetFileSystemIdHook(nullptr);
    testutil::TempDir dir;
    RecordingOwner owner;
    ASSERT_TRUE(plat::ForceDirectories(dir.file("other")));
    const std::string fresh = dir.file("other/new.zip");
    {
      TTempFileStream t(&owner, plat::fmCreate, fresh, dir.path());
      t.WriteBuffer("data", 4);
      ASSERT_TRUE(t.Publish());
    }
    EXPECT_EQ(ModeOf(fresh), plat::NewFileMode()) << "other fs: " << otherFs;
    const std::string old = dir.file("other/old.zip");
    WriteFile(old, "old");
    ASSERT_TRUE(plat::FileSetMode(old, 0640));
    {
      TTempFileStream t(&owner, plat::fmCreate, old, dir.path());
      t.WriteBuffer("data", 4);
      ASSERT_TRUE(t.Publish());
    }
    EXPECT_EQ(ModeOf(old), 0640u) << "other fs: " << otherFs;
  }
}

}  // namespace
}  // namespace zid
