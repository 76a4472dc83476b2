// Drives, the trash, desktop opening and the user-interface hooks.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/hooks.h"
#include "platform/shellops.h"
#include "support/testutil.h"

namespace {

using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

// Sets an environment variable for one test and puts the old value back.
class EnvScope {
 public:
  EnvScope(const char* name, const std::string& value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvScope() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(Drives, MountInfoParsing) {
  const std::string text =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 8:17 / /media/usb\\040stick rw,nosuid shared:5 master:2 - vfat /dev/sdb1 rw,fmask=0022\n"
      "41 22 0:5 / /proc rw - proc proc rw\n"
      "garbage line\n"
      "42 22 0:44 / /mnt/tab\\011and\\134slash rw - tmpfs my\\040ram rw\n"
      "43 22 0:45 / /no/separator rw shared:3 ext4 /dev/x rw\n";
  auto mounts = plat::ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[0].mountPoint, "/");
  EXPECT_EQ(mounts[0].fsType, "ext4");
  EXPECT_EQ(mounts[0].source, "/dev/sda1");
  EXPECT_EQ(mounts[0].major, 8u);
  EXPECT_EQ(mounts[0].minor, 1u);
  EXPECT_EQ(mounts[1].mountPoint, "/media/usb stick");
  EXPECT_EQ(mounts[1].fsType, "vfat");
  EXPECT_EQ(mounts[1].minor, 17u);
  EXPECT_EQ(mounts[2].fsType, "proc");
  EXPECT_EQ(mounts[3].mountPoint, "/mnt/tab\tand\\slash");
  EXPECT_EQ(mounts[3].source, "my ram");
}

TEST(Drives, DriveOfAPath) {
  TempDir dir;
  std::string drive = plat::DriveOfPath(dir.path());
  ASSERT_FALSE(drive.empty());
  EXPECT_EQ(drive.back(), '/');
  EXPECT_EQ(dir.path().rfind(drive == "/" ? "/" : drive.substr(0, drive.size() - 1), 0), 0u);
  EXPECT_EQ(plat::DriveOfPath("/"), "/");
  EXPECT_EQ(plat::DriveOfPath(dir.file("not/made/yet")), drive);
  EXPECT_EQ(plat::DriveOfPath(dir.path() + "/sub/../"), drive);
  // The system's own answer, where stat knows mount points.
  std::string out;
  if (testutil::Run("stat -c %m " + testutil::ShellQuote(dir.path()) + " 2>/dev/null", &out) == 0 && !out.empty()) {
    while (!out.empty() && out.back() == '\n') out.pop_back();
    EXPECT_EQ(drive, out == "/" ? out : out + "/");
  }
}

TEST(Drives, QueryDescribesTheDriveOfAPath) {
  if (access("/proc/self/mountinfo", R_OK) != 0) GTEST_SKIP() << "no mount table";
  TempDir dir;
  plat::DriveInfo info;
  ASSERT_TRUE(plat::QueryDrive(dir.path(), info, true));
  EXPECT_EQ(info.root, plat::DriveOfPath(dir.path()));
  EXPECT_TRUE(info.ready);
  EXPECT_FALSE(info.fsName.empty());
  EXPECT_GT(info.totalBytes, 0);
  EXPECT_GE(info.freeBytes, 0);
  EXPECT_GT(info.maxNameLength, 0u);
  EXPECT_FALSE(info.writeProtected) << "the test's own folder is writable";
  EXPECT_NE(info.type, plat::DriveType::Unknown);
  // The write probe cleans up after itself.
  std::vector<plat::FindData> list;
  ASSERT_TRUE(plat::ListDirectory(dir.path(), list));
  EXPECT_TRUE(list.empty());

  if (geteuid() != 0) {
    // A folder the user cannot write to is reported as protected.
    ASSERT_TRUE(plat::CreateDir(dir.file("locked")));
    chmod(dir.file("locked").c_str(), 0555);
    plat::DriveInfo locked;
    ASSERT_TRUE(plat::QueryDrive(dir.file("locked/archive.zip"), locked, true));
    bool rootWritable = access(locked.root.c_str(), W_OK) == 0;
    EXPECT_EQ(locked.writeProtected, !rootWritable);
  }
}

TEST(Drives, ListKeepsRealFileSystems) {
  if (access("/proc/self/mountinfo", R_OK) != 0) GTEST_SKIP() << "no mount table";
  auto drives = plat::ListDrives();
  for (const auto& d : drives) {
    EXPECT_EQ(d.root.back(), '/') << d.root;
    EXPECT_NE(d.fsName, "proc");
    EXPECT_NE(d.fsName, "sysfs");
    EXPECT_NE(d.fsName, "devpts");
    EXPECT_NE(d.fsName.rfind("cgroup", 0), 0u) << d.root;
    EXPECT_NE(d.root.rfind("/proc/", 0), 0u) << d.root;
    EXPECT_NE(d.root.rfind("/sys/", 0), 0u) << d.root;
    if (d.fsName == "tmpfs") {
      EXPECT_EQ(d.type, plat::DriveType::RamDisk) << d.root;
    }
  }
}

TEST(Drives, HookReplacesTheQuery) {
  int calls = 0;
  plat::SetDriveQueryHook([&](const std::string& path, plat::DriveInfo& out, bool checkWrite) {
    ++calls;
    out.root = "/fake/";
    out.type = plat::DriveType::Removable;
    out.writeProtected = checkWrite;
    out.ready = true;
    return path != "/fail";
  });
  plat::DriveInfo info;
  EXPECT_TRUE(plat::QueryDrive("/anything", info, true));
  EXPECT_EQ(info.type, plat::DriveType::Removable);
  EXPECT_TRUE(info.writeProtected);
  EXPECT_FALSE(plat::QueryDrive("/fail", info, false));
  EXPECT_EQ(calls, 2);
  plat::SetDriveQueryHook(nullptr);
  ASSERT_TRUE(plat::QueryDrive("/", info, false));
  EXPECT_EQ(info.root, "/");
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(plat::SetVolumeLabel("/", "LABEL"));
}

// The info file ends with "DeletionDate=YYYY-MM-DDThh:mm:ss" and a line break.
bool LooksLikeDeletionDate(const std::string& info) {
  const std::string key = "\nDeletionDate=";
  const std::string shape = "dddd-dd-ddTdd:dd:dd\n";
  size_t at = info.rfind(key);
  if (at == std::string::npos || info.size() - at - key.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    char c = info[at + key.size() + i];
    if (shape[i] == 'd' ? (c < '0' || c > '9') : c != shape[i]) return false;
  }
  return true;
}

class Trash : public ::testing::Test {
 protected:
  TempDir data_;
  TempDir work_;
  EnvScope env_{"XDG_DATA_HOME", data_.path()};
  std::string trash_ = data_.path() + "/Trash";
};

TEST_F(Trash, MovesAFileWithItsInfo) {
  const std::string victim = work_.file("my file ü%.txt");
  WriteFile(victim, "contents");
  ASSERT_TRUE(plat::DeleteToTrash(victim));
  EXPECT_FALSE(plat::FileStat(victim).exists);
  EXPECT_EQ(ReadFile(trash_ + "/files/my file ü%.txt"), "contents");
  std::string info = ReadFile(trash_ + "/info/my file ü%.txt.trashinfo");
  std::string encodedDir = work_.path();  // the test folder holds only plain characters
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + encodedDir + "/my%20file%20%C3%BC%25.txt\n", 0), 0u) << info;
  EXPECT_TRUE(LooksLikeDeletionDate(info)) << info;
  struct stat st;
  ASSERT_EQ(stat(trash_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u) << "the trash is private";
}

TEST_F(Trash, SameNameTwiceGetsTwoEntries) {
  WriteFile(work_.file("a/doc"), "first");
  WriteFile(work_.file("b/doc"), "second");
  ASSERT_TRUE(plat::DeleteToTrash(work_.file("a/doc")));
  ASSERT_TRUE(plat::DeleteToTrash(work_.file("b/doc")));
  std::vector<plat::FindData> files, infos;
  ASSERT_TRUE(plat::ListDirectory(trash_ + "/files", files));
  ASSERT_TRUE(plat::ListDirectory(trash_ + "/info", infos));
  ASSERT_EQ(files.size(), 2u);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(ReadFile(trash_ + "/files/doc"), "first");
  std::string second = trash_ + "/files/" + (files[0].name == "doc" ? files[1].name : files[0].name);
  EXPECT_EQ(ReadFile(second), "second");
  for (const auto& f : files) EXPECT_TRUE(plat::FileExists(trash_ + "/info/" + f.name + ".trashinfo")) << f.name;
}

TEST_F(Trash, FoldersLinksAndRefusals) {
  WriteFile(work_.file("dir/inner"), "x");
  ASSERT_TRUE(plat::DeleteToTrash(work_.file("dir/")));
  EXPECT_EQ(ReadFile(trash_ + "/files/dir/inner"), "x");
  // A link goes to the trash itself; its target stays.
  WriteFile(work_.file("target"), "t");
  ASSERT_EQ(symlink("target", work_.file("ln").c_str()), 0);
  ASSERT_TRUE(plat::DeleteToTrash(work_.file("ln")));
  EXPECT_TRUE(plat::FileStat(trash_ + "/files/ln").isLink);
  EXPECT_EQ(ReadFile(work_.file("target")), "t");

  EXPECT_FALSE(plat::DeleteToTrash(work_.file("missing")));
  EXPECT_FALSE(plat::DeleteToTrash(""));
  EXPECT_FALSE(plat::DeleteToTrash(trash_));
  EXPECT_FALSE(plat::DeleteToTrash(data_.path()));
  EXPECT_TRUE(plat::DirectoryExists(trash_ + "/files"));
  std::vector<plat::FindData> infos;
  ASSERT_TRUE(plat::ListDirectory(trash_ + "/info", infos));
  EXPECT_EQ(infos.size(), 2u) << "refusals leave no info behind";
}

TEST(OpenDocument, FalseWithoutXdgOpen) {
  TempDir empty;
  EnvScope path("PATH", empty.path());
  EXPECT_FALSE(plat::OpenDocument("/etc/hostname"));
  EXPECT_FALSE(plat::OpenDocument(""));
}

TEST(OpenDocument, StartsTheOpenerDetached) {
  TempDir bin;
  const std::string seen = bin.file("seen");
  WriteFile(bin.file("xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > " + testutil::ShellQuote(seen) + ".part && mv " +
                                      testutil::ShellQuote(seen) + ".part " + testutil::ShellQuote(seen) + "\n");
  chmod(bin.file("xdg-open").c_str(), 0755);
  EnvScope path("PATH", bin.path() + ":/usr/bin:/bin");
  ASSERT_TRUE(plat::OpenDocument("https://example.org/a b"));
  // The opener runs on its own; wait for its trace rather than for a time.
  for (int i = 0; i < 2000 && !plat::FileExists(seen); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFile(seen), "https://example.org/a b");
}

TEST(Hooks, QuietDefaults) {
  plat::SetMessageBoxHook(nullptr);
  EXPECT_EQ(plat::MessageBox(plat::MsgKind::Question, "c", "t"), plat::MsgResult::Yes);
  EXPECT_EQ(plat::MessageBox(plat::MsgKind::RetryCancel, "c", "t"), plat::MsgResult::Cancel);
  EXPECT_EQ(plat::MessageBox(plat::MsgKind::Information, "c", "t"), plat::MsgResult::Ok);
  plat::ProcessMessages();  // no hook: nothing happens
  EXPECT_FALSE(plat::ApplicationTitle().empty());
}

TEST(Hooks, InstalledHooksAreCalledAndRemovable) {
  int pumps = 0;
  plat::SetProcessMessagesHook([&] { ++pumps; });
  plat::ProcessMessages();
  plat::ProcessMessages();
  EXPECT_EQ(pumps, 2);
  plat::SetProcessMessagesHook(nullptr);
  plat::ProcessMessages();
  EXPECT_EQ(pumps, 2);

  std::string seen;
  plat::SetMessageBoxHook([&](plat::MsgKind, const std::string& caption, const std::string& text) {
    seen = caption + "|" + text;
    return plat::MsgResult::Retry;
  });
  EXPECT_EQ(plat::MessageBox(plat::MsgKind::RetryCancel, "Cap", "Text"), plat::MsgResult::Retry);
  EXPECT_EQ(seen, "Cap|Text");
  plat::SetMessageBoxHook(nullptr);
  EXPECT_EQ(plat::MessageBox(plat::MsgKind::RetryCancel, "Cap", "Text"), plat::MsgResult::Cancel);

  std::string old = plat::ApplicationTitle();
  plat::SetApplicationTitle("zefa archiver");
  EXPECT_EQ(plat::ApplicationTitle(), "zefa archiver");
  plat::SetApplicationTitle(old);
}

TEST(Hooks, RandomIsReproducibleWithASeed) {
  plat::RandSeed(1234);
  std::vector<int> a, b;
  for (int i = 0; i < 100; ++i) a.push_back(plat::Random(256));
  plat::RandSeed(1234);
  for (int i = 0; i < 100; ++i) b.push_back(plat::Random(256));
  EXPECT_EQ(a, b);
  int seenHigh = 0;
  for (int v : a) {
    EXPECT_GE(v, 0);
    EXPECT_LT(v, 256);
    if (v >= 128) ++seenHigh;
  }
  EXPECT_GT(seenHigh, 0);
  EXPECT_EQ(plat::Random(0), 0);
  EXPECT_EQ(plat::Random(1), 0);
  EXPECT_EQ(plat::Random(-5), 0);
  plat::Randomize();
}

}  // namespace
