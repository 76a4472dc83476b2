#include "platform/files.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>

#include "support/testutil.h"

namespace {

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

mode_t ModeOf(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Names are bytes: one that is not UTF-8 must reach the disk and come back as it was.
TEST(Files, InvalidUtf8NamesPassThroughUnchanged) {
  TempDir dir;
  const std::string name = "bad\xFF\xFE name\x80.txt";
  const std::string path = dir.file(name);
  plat::Handle h = plat::FileCreate(path);
  ASSERT_GE(h, 0);
  EXPECT_EQ(plat::FileWrite(h, "hello", 5), 5);
  EXPECT_TRUE(plat::FileClose(h));

  plat::FileInfo info = plat::FileStat(path);
  EXPECT_TRUE(info.exists);
  EXPECT_EQ(info.size, 5);
  EXPECT_TRUE(plat::FileExists(path));
  EXPECT_EQ(plat::FileGetAttr(path), static_cast<int64_t>(plat::faArchive));

  std::vector<plat::FindData> list;
  ASSERT_TRUE(plat::ListDirectory(dir.path(), list));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, name);
  EXPECT_EQ(list[0].size, 5);

  const std::string renamed = dir.file("\xC0\xAF\xFF");
  EXPECT_TRUE(plat::RenameFile(path, renamed));
  EXPECT_EQ(ReadFile(renamed), "hello");
  EXPECT_TRUE(plat::DeleteFile(renamed));
  EXPECT_FALSE(plat::FileStat(renamed).exists);
}

// An archive never writes through a link: it could point anywhere.
TEST(Files, WritesNeverFollowLinks) {
  TempDir dir;
  WriteFile(dir.file("target"), "keep me");
  ASSERT_EQ(symlink("target", dir.file("link").c_str()), 0);
  ASSERT_EQ(symlink("missing", dir.file("dangling").c_str()), 0);

  EXPECT_LT(plat::FileCreate(dir.file("link")), 0);
  EXPECT_LT(plat::FileCreateNew(dir.file("link")), 0);
  EXPECT_LT(plat::FileOpen(dir.file("link"), plat::fmOpenWrite), 0);
  EXPECT_LT(plat::FileOpen(dir.file("link"), plat::fmOpenReadWrite | plat::fmShareDenyWrite), 0);
  EXPECT_LT(plat::FileOpen(dir.file("link"), plat::fmCreate), 0);
  EXPECT_LT(plat::FileCreate(dir.file("dangling")), 0);
  EXPECT_EQ(ReadFile(dir.file("target")), "keep me");
  EXPECT_FALSE(plat::FileStat(dir.file("missing")).exists);

  // Reading through a link is harmless and allowed.
  plat::Handle h = plat::FileOpen(dir.file("link"), plat::fmOpenRead | plat::fmShareDenyNone);
  ASSERT_GE(h, 0);
  char buf[16] = {};
  EXPECT_EQ(plat::FileRead(h, buf, sizeof buf), 7);
  plat::FileClose(h);

  // Attribute and date changes leave the link's target alone.
  mode_t before = ModeOf(dir.file("target"));
  EXPECT_FALSE(plat::FileSetAttr(dir.file("link"), plat::faReadOnly));
  EXPECT_FALSE(plat::FileSetMode(dir.file("link"), 0400));
  EXPECT_EQ(ModeOf(dir.file("target")), before);
  int64_t mtime = plat::FileStat(dir.file("target")).mtime;
  EXPECT_TRUE(plat::FileSetDate(dir.file("link"), 1000000000));
  EXPECT_EQ(plat::FileStat(dir.file("target")).mtime, mtime);
}

TEST(Files, CreateNewRefusesAnExistingName) {
  TempDir dir;
  WriteFile(dir.file("old"), "data");
  EXPECT_LT(plat::FileCreateNew(dir.file("old")), 0);
  EXPECT_EQ(plat::LastError(), EEXIST);
  EXPECT_EQ(ReadFile(dir.file("old")), "data");
  plat::Handle h = plat::FileCreateNew(dir.file("new"));
  ASSERT_GE(h, 0);
  plat::FileClose(h);
  // FileCreate truncates an existing file.
  h = plat::FileCreate(dir.file("old"));
  ASSERT_GE(h, 0);
  EXPECT_EQ(plat::FileSizeOf(h), 0);
  plat::FileClose(h);
}

TEST(Files, SeeksPastFourGiBOnASparseFile) {
  TempDir dir;
  plat::Handle h = plat::FileCreate(dir.file("sparse"));
  ASSERT_GE(h, 0);
  const int64_t far = (5LL << 30) + 123;
  ASSERT_EQ(plat::FileSeek(h, far, plat::soFromBeginning), far);
  if (plat::FileWrite(h, "tail", 4) != 4) {
    plat::FileClose(h);
    GTEST_SKIP() << "file system refuses large sparse files: " << plat::ErrorText(plat::LastError());
  }
  EXPECT_EQ(plat::FileSizeOf(h), far + 4);
  EXPECT_EQ(plat::FileSeek(h, -4, plat::soFromEnd), far);
  char buf[8] = {};
  EXPECT_EQ(plat::FileRead(h, buf, 8), 4);  // a short count at the end is no error
  EXPECT_EQ(std::string(buf, 4), "tail");
  EXPECT_EQ(plat::FileSeek(h, 0, plat::soFromCurrent), far + 4);
  EXPECT_TRUE(plat::FileTruncate(h, (4LL << 30) + 1));
  EXPECT_EQ(plat::FileSizeOf(h), (4LL << 30) + 1);
  EXPECT_TRUE(plat::FileClose(h));
  EXPECT_EQ(plat::FileStat(dir.file("sparse")).size, (4LL << 30) + 1);
}

TEST(Files, RefusedSeeksAndBadHandles) {
  TempDir dir;
  plat::Handle h = plat::FileCreate(dir.file("f"));
  ASSERT_GE(h, 0);
  ASSERT_EQ(plat::FileWrite(h, "0123456789", 10), 10);
  EXPECT_EQ(plat::FileSeek(h, -1, plat::soFromBeginning), -1);
  EXPECT_EQ(plat::FileSeek(h, 0, plat::soFromCurrent), 10) << "a refused seek keeps the position";
  EXPECT_EQ(plat::FileSeek(h, -11, plat::soFromCurrent), -1);
  EXPECT_EQ(plat::FileSeek(h, -11, plat::soFromEnd), -1);
  EXPECT_EQ(plat::FileSeek(h, 3, 7), -1);
  EXPECT_EQ(plat::FileSeek(h, -10, plat::soFromEnd), 0);
  EXPECT_FALSE(plat::FileTruncate(h, -1));
  plat::FileClose(h);

  char buf[4];
  EXPECT_EQ(plat::FileRead(plat::kNoHandle, buf, 4), -1);
  EXPECT_EQ(plat::FileWrite(plat::kNoHandle, buf, 4), -1);
  EXPECT_EQ(plat::FileSizeOf(plat::kNoHandle), -1);
  EXPECT_FALSE(plat::FileClose(plat::kNoHandle));
  EXPECT_LT(plat::FileOpen(dir.file("absent"), plat::fmOpenRead), 0);
  EXPECT_EQ(plat::LastError(), ENOENT);
  EXPECT_LT(plat::FileOpen(dir.path(), plat::fmOpenRead), 0) << "a folder is not a file";
}

TEST(Files, AttributesMapOntoModeBitsAndNames) {
  TempDir dir;
  WriteFile(dir.file("plain"), "x");
  WriteFile(dir.file(".hidden"), "x");
  ASSERT_TRUE(plat::CreateDir(dir.file("sub")));
  ASSERT_EQ(symlink("sub", dir.file("dirlink").c_str()), 0);

  EXPECT_EQ(plat::FileGetAttr(dir.file("plain")), static_cast<int64_t>(plat::faArchive));
  EXPECT_EQ(plat::FileGetAttr(dir.file(".hidden")), static_cast<int64_t>(plat::faArchive | plat::faHidden));
  EXPECT_EQ(plat::FileGetAttr(dir.file("sub")), static_cast<int64_t>(plat::faDirectory));
  EXPECT_EQ(plat::FileGetAttr(dir.file("dirlink")), static_cast<int64_t>(plat::faSymLink));
  EXPECT_EQ(plat::FileGetAttr(dir.file("nothing")), -1);
  EXPECT_TRUE(plat::DirectoryExists(dir.file("sub")));
  EXPECT_FALSE(plat::DirectoryExists(dir.file("dirlink"))) << "a link to a folder is not a folder";
  EXPECT_TRUE(plat::FileExists(dir.file("dirlink")));
  EXPECT_FALSE(plat::FileExists(dir.file("sub")));

  ASSERT_TRUE(plat::FileSetMode(dir.file("plain"), 0666));
  ASSERT_TRUE(plat::FileSetAttr(dir.file("plain"), plat::faReadOnly | plat::faHidden));
  EXPECT_EQ(ModeOf(dir.file("plain")), 0444u);
  EXPECT_EQ(plat::FileGetAttr(dir.file("plain")), static_cast<int64_t>(plat::faArchive | plat::faReadOnly));
  ASSERT_TRUE(plat::FileSetAttr(dir.file("plain"), plat::faArchive));
  EXPECT_EQ(ModeOf(dir.file("plain")), 0644u);
  ASSERT_TRUE(plat::FileSetMode(dir.file("plain"), 04755));
  EXPECT_EQ(ModeOf(dir.file("plain")), 0755u) << "setuid is never applied";
  EXPECT_FALSE(plat::FileSetAttr(dir.file("nothing"), 0));
}

TEST(Files, DatesAreSetOnPathsAndHandles) {
  TempDir dir;
  WriteFile(dir.file("f"), "x");
  ASSERT_TRUE(plat::FileSetDate(dir.file("f"), 946684800));
  EXPECT_EQ(plat::FileStat(dir.file("f")).mtime, 946684800);
  plat::Handle h = plat::FileOpen(dir.file("f"), plat::fmOpenReadWrite);
  ASSERT_GE(h, 0);
  ASSERT_TRUE(plat::FileSetDate(h, 4102444800LL));  // past 2038
  plat::FileClose(h);
  EXPECT_EQ(plat::FileStat(dir.file("f")).mtime, 4102444800LL);
  std::vector<plat::FindData> list;
  ASSERT_TRUE(plat::ListDirectory(dir.path(), list));
  EXPECT_EQ(list.at(0).mtime, 4102444800LL);
  EXPECT_FALSE(plat::FileSetDate(dir.file("none"), 0));
}

TEST(Files, FoldersAndCopies) {
  TempDir dir;
  const std::string deep = dir.file("a/b/c");
  EXPECT_TRUE(plat::ForceDirectories(deep + "/"));
  EXPECT_TRUE(plat::DirectoryExists(deep));
  EXPECT_TRUE(plat::ForceDirectories(deep)) << "an existing folder is success";
  WriteFile(dir.file("a/file"), "x");
  EXPECT_FALSE(plat::ForceDirectories(dir.file("a/file/sub")));
  EXPECT_FALSE(plat::ForceDirectories(""));
  EXPECT_FALSE(plat::CreateDir(deep));
  EXPECT_FALSE(plat::RemoveDir(dir.file("a")));  // not empty
  EXPECT_TRUE(plat::RemoveDir(deep));
  EXPECT_FALSE(plat::DeleteFile(dir.file("a/b"))) << "DeleteFile never removes a folder";

  const std::string data = testutil::RandomBytes(300000, 7);
  WriteFile(dir.file("src"), data);
  chmod(dir.file("src").c_str(), 0640);
  ASSERT_TRUE(plat::CopyFile(dir.file("src"), dir.file("dst"), true));
  EXPECT_EQ(ReadFile(dir.file("dst")), data);
  EXPECT_EQ(ModeOf(dir.file("dst")), 0640u);
  EXPECT_EQ(plat::FileStat(dir.file("dst")).mtime, plat::FileStat(dir.file("src")).mtime);
  WriteFile(dir.file("other"), "other");
  EXPECT_FALSE(plat::CopyFile(dir.file("other"), dir.file("dst"), true));
  EXPECT_EQ(ReadFile(dir.file("dst")), data);
  EXPECT_TRUE(plat::CopyFile(dir.file("other"), dir.file("dst"), false));
  EXPECT_EQ(ReadFile(dir.file("dst")), "other");
  EXPECT_FALSE(plat::CopyFile(dir.file("none"), dir.file("dst2"), false));
  EXPECT_FALSE(plat::FileStat(dir.file("dst2")).exists);

  EXPECT_TRUE(plat::MoveFile(dir.file("dst"), dir.file("a/moved")));
  EXPECT_EQ(ReadFile(dir.file("a/moved")), "other");
  EXPECT_FALSE(plat::FileStat(dir.file("dst")).exists);
}

// Moving between file systems falls back to copy and delete, folders included.
TEST(Files, MoveAcrossFileSystems) {
  TempDir dir;
  const std::string shm = "/dev/shm";
  if (!plat::DirectoryExists(shm) || access(shm.c_str(), W_OK) != 0 ||
      plat::FileSystemId(shm) == plat::FileSystemId(dir.path())) {
    GTEST_SKIP() << "no second writable file system";
  }
  WriteFile(dir.file("tree/one"), "1");
  WriteFile(dir.file("tree/sub/two"), testutil::RandomBytes(200000, 3));
  ASSERT_EQ(symlink("one", dir.file("tree/ln").c_str()), 0);
  std::string target = shm + "/zefa-move-" + std::to_string(getpid());
  ASSERT_TRUE(plat::MoveFile(dir.file("tree"), target));
  EXPECT_FALSE(plat::FileStat(dir.file("tree")).exists);
  EXPECT_EQ(ReadFile(target + "/one"), "1");
  EXPECT_EQ(ReadFile(target + "/sub/two"), testutil::RandomBytes(200000, 3));
  EXPECT_TRUE(plat::FileStat(target + "/ln").isLink);
  ASSERT_TRUE(plat::MoveFile(target, dir.file("back")));
  EXPECT_FALSE(plat::FileStat(target).exists);
  EXPECT_EQ(ReadFile(dir.file("back/one")), "1");

  // A file replaces an existing target, as rename would.
  const std::string shmFile = target + ".txt";
  WriteFile(shmFile, "old");
  WriteFile(dir.file("new.txt"), "new");
  ASSERT_TRUE(plat::MoveFile(dir.file("new.txt"), shmFile));
  EXPECT_EQ(ReadFile(shmFile), "new");
  EXPECT_FALSE(plat::FileStat(dir.file("new.txt")).exists);
  // A failed move (no such source) leaves the target alone and no scratch copy.
  EXPECT_FALSE(plat::MoveFile(dir.file("absent"), shmFile));
  EXPECT_EQ(ReadFile(shmFile), "new");
  plat::DeleteFile(shmFile);
}

TEST(Files, ExpandFileNameFoldsLexically) {
  std::string cwd = plat::GetCurrentDir();
  ASSERT_FALSE(cwd.empty());
  EXPECT_NE(cwd.back(), '/');
  EXPECT_EQ(plat::ExpandFileName("/a/./b/../c"), "/a/c");
  EXPECT_EQ(plat::ExpandFileName("/a//b/"), "/a/b/");
  EXPECT_EQ(plat::ExpandFileName("/../../x"), "/x");
  EXPECT_EQ(plat::ExpandFileName("/.."), "/");
  EXPECT_EQ(plat::ExpandFileName("x/y"), (cwd == "/" ? "" : cwd) + "/x/y");
  EXPECT_EQ(plat::ExpandFileName("."), cwd);
  EXPECT_EQ(plat::ExpandFileName(""), "");

  TempDir dir;
  ASSERT_TRUE(plat::SetCurrentDir(dir.path()));
  EXPECT_EQ(plat::ExpandFileName("sub/../f"), plat::GetCurrentDir() + "/f");
  ASSERT_TRUE(plat::SetCurrentDir(cwd));
  EXPECT_FALSE(plat::SetCurrentDir(dir.file("missing")));
}

TEST(Files, TempNamesAreUniqueAndExclusive) {
  TempDir dir;
  std::set<std::string> names;
  for (int i = 0; i < 300; ++i) {
    std::string name = plat::CreateTempFileName(dir.path(), "zid");
    ASSERT_FALSE(name.empty());
    EXPECT_TRUE(names.insert(name).second) << "repeated " << name;
    std::string base = name.substr(dir.path().size() + 1);
    EXPECT_EQ(base.rfind("zid", 0), 0u) << base;
    EXPECT_EQ(base.size(), 3u + 8u + 4u) << base;
    EXPECT_EQ(base.substr(base.size() - 4), ".tmp");
    plat::FileInfo info = plat::FileStat(name);
    EXPECT_TRUE(info.exists && !info.isLink && info.size == 0);
  }
  // A trailing separator on the folder makes no double one.
  std::string name = plat::CreateTempFileName(dir.path() + "/", "p");
  EXPECT_EQ(name.find("//"), std::string::npos);
  EXPECT_EQ(plat::CreateTempFileName(dir.file("no/such/folder"), "zid"), "");
  EXPECT_EQ(plat::CreateTempFileName(dir.path(), "../escape"), "");

  if (geteuid() != 0) {
    ASSERT_TRUE(plat::ForceDirectories(dir.file("ro")));
    chmod(dir.file("ro").c_str(), 0555);
    EXPECT_EQ(plat::CreateTempFileName(dir.file("ro"), "zid"), "");
    EXPECT_EQ(plat::LastError(), EACCES);
  }
  std::string tmp = plat::TempFolder();
  EXPECT_EQ(tmp.back(), '/');
  EXPECT_TRUE(plat::DirectoryExists(tmp));
}

TEST(Files, SpaceAndFileSystemIdentity) {
  TempDir dir;
  EXPECT_GT(plat::DiskTotal(dir.path()), 0);
  EXPECT_GE(plat::DiskFree(dir.path()), 0);
  EXPECT_LE(plat::DiskFree(dir.path()), plat::DiskTotal(dir.path()));
  // A destination that does not exist yet is judged by its nearest parent.
  EXPECT_EQ(plat::DiskTotal(dir.file("not/yet")), plat::DiskTotal(dir.path()));

  uint64_t real = plat::FileSystemId(dir.path());
  EXPECT_EQ(real, plat::FileStat(dir.path()).device);
  EXPECT_EQ(plat::FileSystemId(dir.file("not/yet/made")), real);
  plat::SetFileSystemIdHook([](const std::string& path) -> uint64_t { return path.find("other") != std::string::npos ? 2 : 1; });
  EXPECT_EQ(plat::FileSystemId(dir.file("other")), 2u);
  EXPECT_EQ(plat::FileSystemId(dir.path()), 1u);
  plat::SetFileSystemIdHook(nullptr);
  EXPECT_EQ(plat::FileSystemId(dir.path()), real);
}

TEST(Files, ListingDescribesLinksWithoutFollowing) {
  TempDir dir;
  WriteFile(dir.file("b.txt"), "12345");
  WriteFile(dir.file(".dot"), "");
  ASSERT_TRUE(plat::CreateDir(dir.file("a")));
  ASSERT_EQ(symlink("a", dir.file("c").c_str()), 0);
  std::vector<plat::FindData> list;
  ASSERT_TRUE(plat::ListDirectory(dir.path(), list));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].name, ".dot");
  EXPECT_EQ(list[0].attr, plat::faArchive | plat::faHidden);
  EXPECT_EQ(list[1].name, "a");
  EXPECT_EQ(list[1].attr, plat::faDirectory);
  EXPECT_EQ(list[2].name, "b.txt");
  EXPECT_EQ(list[2].size, 5);
  EXPECT_EQ(list[3].name, "c");
  EXPECT_TRUE(list[3].isLink);
  EXPECT_EQ(list[3].attr & plat::faDirectory, 0u);
  EXPECT_FALSE(plat::ListDirectory(dir.file("missing"), list));
  EXPECT_TRUE(list.empty());
}

TEST(Files, ErrorCodes) {
  EXPECT_TRUE(plat::IsDiskFullError(ENOSPC));
  EXPECT_TRUE(plat::IsDiskFullError(EDQUOT));
  EXPECT_FALSE(plat::IsDiskFullError(EFBIG));  // ulimit -f: a write error
  EXPECT_FALSE(plat::IsDiskFullError(EACCES));
  EXPECT_FALSE(plat::ErrorText(ENOENT).empty());
  EXPECT_FALSE(plat::ErrorText(987654).empty());
  plat::SetLastError(EROFS);
  EXPECT_EQ(plat::LastError(), EROFS);
}

}  // namespace
