// The new archive is built in an unnamed file where the file system allows it:
// whatever ends the build, the archive's folder holds only what it held before
// or the finished archive, never a "zid....tmp" file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "engine/zip/zidZip.h"
#include "platform/files.h"
#include "support/testutil.h"

namespace zid {
namespace {

namespace fs = std::filesystem;
using testutil::ShellQuote;

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

int TempCount(const std::string& dir) {
  int n = 0;
  for (const auto& name : Names(dir)) n += name.rfind("zid", 0) == 0 ? 1 : 0;
  return n;
}

uint32_t ModeOf(const std::string& path) { return plat::FileStat(path).mode & 0777; }

// True when the process holds an unnamed file of the folder open: /proc shows
// it as "<folder>/#<inode> (deleted)".
bool HoldsUnnamedFileIn(pid_t pid, const std::string& folder) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    const std::string target = fs::read_symlink(e.path(), ec).string();
    if (!ec && target.rfind(folder + "/#", 0) == 0 && target.find(" (deleted)") != std::string::npos) return true;
  }
  return false;
}

struct UnnamedSwitch {
  explicit UnnamedSwitch(bool on) { plat::SetUnnamedFilesEnabled(on); }
  ~UnnamedSwitch() { plat::SetUnnamedFilesEnabled(true); }
};

enum class Build { kNew, kUpdate, kCancelled, kTempDirSameFs };

// Every build, on the unnamed path and on the named fallback, ends with the
// archive's folder holding the archive alone, a sound archive and the
// permissions it should have.
TEST(UnnamedTemp, EveryBuildLeavesOnlyTheArchive) {
  REQUIRE_TOOL("unzip");
  const struct {
    Build build;
    const char* what;
  } cases[] = {{Build::kNew, "new"},
               {Build::kUpdate, "update"},
               {Build::kCancelled, "cancelled"},
               {Build::kTempDirSameFs, "temp folder"}};
  for (bool unnamed : {true, false}) {
    UnnamedSwitch sw(unnamed);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (unnamed ? " (unnamed)" : " (named fallback)"));
      testutil::TempDir tmp;
      const std::string src = tmp.file("src"), out = tmp.file("out"), temps = tmp.file("temps");
      fs::create_directories(src);
      fs::create_directories(out);
      fs::create_directories(temps);
      testutil::WriteFile(src + "/one.txt", testutil::TextBytes(30000, 1));
      testutil::WriteFile(src + "/two.bin", testutil::RandomBytes(20000, 2));
      const std::string arc = out + "/a.zip";
      std::string before;
      if (c.build != Build::kNew) {
        TZip first;
        first.FileSpec = {src + "/one.txt"};
        first.SetArchiveFile(arc);
        ASSERT_EQ(first.Compress(), 1);
        ASSERT_TRUE(plat::FileSetMode(arc, 0640));
        before = testutil::ReadFile(arc);
      }

      TZip z;
      if (c.build == Build::kTempDirSameFs) z.SetTempDir(temps);
      int named = -1;
      z.OnBegin = [&](TZipCommon*, const std::string&, int, bool&) {
        // While the archive is being built: a named file only on the fallback.
        named = TempCount(out) + TempCount(temps);
        if (c.build == Build::kCancelled) z.SetCancel(true);
      };
      z.FileSpec = {src + "/*"};
      z.SetArchiveFile(arc);
      const int added = z.Compress();
      EXPECT_EQ(named, unnamed ? 0 : 1);

      EXPECT_EQ(Names(out), std::set<std::string>{"a.zip"});
      EXPECT_TRUE(fs::is_empty(temps));
      if (c.build == Build::kCancelled) {
        EXPECT_EQ(added, 0);
        EXPECT_EQ(testutil::ReadFile(arc), before);
        continue;
      }
      EXPECT_EQ(added, c.build == Build::kNew ? 2 : 1);
      std::string log;
      EXPECT_EQ(testutil::Run("unzip -t " + ShellQuote(arc), &log), 0) << log;
      EXPECT_NE(log.find("two.bin"), std::string::npos) << log;
      EXPECT_EQ(ModeOf(arc), c.build == Build::kNew ? plat::NewFileMode() : 0640u);
    }
  }
}

// A build killed outright leaves the old archive as it was and nothing else.
TEST(UnnamedTemp, KilledBuildLeavesTheOldArchiveAlone) {
  if (!fs::exists("/proc/self/fd")) GTEST_SKIP() << "no /proc";
  testutil::TempDir tmp;
  const std::string src = tmp.file("src"), out = tmp.file("out");
  fs::create_directories(src);
  fs::create_directories(out);
  testutil::WriteFile(src + "/small.txt", "small");
  const std::string arc = out + "/a.zip";
  {
    TZip first;
    first.FileSpec = {src + "/small.txt"};
    first.SetArchiveFile(arc);
    ASSERT_EQ(first.Compress(), 1);
  }
  const std::string before = testutil::ReadFile(arc);
  testutil::WriteFile(src + "/big.txt", testutil::TextBytes(48 << 20, 3));

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(60);  // never outlives a stuck test
    execl(testutil::CliPath().c_str(), "zefa", "a", arc.c_str(), src.c_str(), "-r", "--level", "max",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Waits (at most 30 s) until the new archive has been started, named or not.
  bool started = false, finished = false;
  for (int i = 0; i < 3000 && !started && !finished; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int status = 0;
    finished = waitpid(pid, &status, WNOHANG) == pid;
    started = TempCount(out) > 0 || HoldsUnnamedFileIn(pid, fs::canonical(out).string());
  }
  if (!finished) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  }
  ASSERT_FALSE(finished) << "the build finished before it could be killed";
  EXPECT_TRUE(started);
  EXPECT_EQ(Names(out), std::set<std::string>{"a.zip"});
  EXPECT_EQ(testutil::ReadFile(arc), before);
}

}  // namespace
}  // namespace zid
