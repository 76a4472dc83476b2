// The write loop: merge decisions, events, moves, stored names and the rule
// that the archive on disk is never changed in place.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "engine/base/Err_Msgs.h"
#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidZip.h"
#include "platform/files.h"
#include "platform/safeopen.h"
#include "support/testutil.h"

using namespace zid;
namespace fs = std::filesystem;

namespace {

struct Fixture {
  testutil::TempDir tmp;
  std::string src = tmp.file("src");
  std::string arc = tmp.file("a.zip");
  std::vector<int> errors;
  TZip z;

  Fixture() {
    fs::create_directories(src);
    testutil::WriteFile(src + "/one.txt", testutil::TextBytes(2000, 1));
    testutil::WriteFile(src + "/two.txt", testutil::TextBytes(3000, 2));
    z.DeleteOptions = doFinal;
    z.OnError = [this](TZipCommon*, const std::string&, const std::string&, const std::string&, int code) {
      errors.push_back(code);
    };
  }
  int Add(const std::vector<std::string>& masks) {
    z.FileSpec = masks;
    z.SetArchiveFile(arc);
    return z.Compress();
  }
  bool Has(int code) const { return std::find(errors.begin(), errors.end(), code) != errors.end(); }
  // Extracts the archive into out; the number of entries extracted.
  int ExtractTo(const testutil::TempDir& out) const {
    zid::TUnZip un;
    un.SetArchiveFile(arc);
    un.FileSpec = {"*.*"};
    un.SetExtractDir(out.path());
    return un.Extract();
  }
};

// Sets a file's modification time a given number of seconds ahead.
void Touch(const std::string& path, int seconds) {
  auto t = fs::last_write_time(path);
  fs::last_write_time(path, t + std::chrono::seconds(seconds));
}

}  // namespace

TEST(WriteLoop, UnchangedFileAddsNothingAndLeavesTheArchiveAlone) {
  Fixture f;
  ASSERT_EQ(f.Add({f.src + "/*"}), 2);
  const std::string before = testutil::ReadFile(f.arc);
  const auto stamp = fs::last_write_time(f.arc);
  EXPECT_EQ(f.Add({f.src + "/*"}), 0);
  EXPECT_TRUE(f.errors.empty());
  EXPECT_EQ(testutil::ReadFile(f.arc), before);
  EXPECT_EQ(fs::last_write_time(f.arc), stamp);
}

// Each Compress reads the archive as it is when it starts: a second one adds
// to what the first wrote; WriteAfresh writes it anew from FileSpec alone.
TEST(WriteLoop, SecondCompressUpdatesWhatTheFirstWrote) {
  Fixture f;
  f.z.SetArchiveFile(f.arc);
  for (const char* name : {"one.txt", "two.txt"}) {
    f.z.FileSpec = {f.src + "/" + name};
    ASSERT_EQ(f.z.Compress(), 1);
  }
  testutil::TempDir out;
  EXPECT_EQ(f.ExtractTo(out), 2);
  f.z.WriteAfresh = true;
  ASSERT_EQ(f.z.Compress(), 1);
  testutil::TempDir again;
  EXPECT_EQ(f.ExtractTo(again), 1);
  EXPECT_TRUE(fs::exists(again.file("two.txt")));
}

TEST(WriteLoop, ChangedFileWithoutOnReplaceFileKeepsTheOldDataAndReports25270) {
  Fixture f;
  ASSERT_EQ(f.Add({f.src + "/one.txt"}), 1);
  const std::string before = testutil::ReadFile(f.arc);
  testutil::WriteFile(f.src + "/one.txt", "changed");
  EXPECT_EQ(f.Add({f.src + "/one.txt"}), 0);
  EXPECT_TRUE(f.Has(E_REQUIREDEVENT));
  EXPECT_EQ(testutil::ReadFile(f.arc), before);

  bool asked = false;
  f.z.OnReplaceFile = [&](TZipCommon*, const std::string& name, const std::string&, uint32_t, uint32_t, int64_t,
                          int64_t newSize, uint32_t, uint32_t, bool& replace) {
    asked = true;
    EXPECT_EQ(name, "one.txt");
    EXPECT_EQ(newSize, 7);
    replace = true;
  };
  EXPECT_EQ(f.Add({f.src + "/one.txt"}), 1);
  EXPECT_TRUE(asked);
  EXPECT_EQ(f.z.EntriesDeleted(), 1);
}

TEST(WriteLoop, RenameDupeFileKeepsBothVersions) {
  Fixture f;
  ASSERT_EQ(f.Add({f.src + "/*"}), 2);
  testutil::WriteFile(f.src + "/one.txt", "newer content");
  int questions = 0;
  f.z.OnReplaceFile = [](TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t, int64_t,
                         uint32_t, uint32_t, bool& replace) { replace = false; };
  f.z.OnRenameDupeFile = [&](TZipCommon*, const std::string&, std::string& newName, bool& rename) {
    // The first answer is taken already (by two.txt); the second is free.
    newName = ++questions == 1 ? "two.txt" : "old/one.txt";
    rename = true;
  };
  EXPECT_EQ(f.Add({f.src + "/one.txt"}), 1);
  EXPECT_EQ(questions, 2);
  testutil::TempDir out;
  EXPECT_EQ(f.ExtractTo(out), 3);
  EXPECT_EQ(testutil::ReadFile(out.file("one.txt")), "newer content");
  EXPECT_EQ(testutil::ReadFile(out.file("old/one.txt")), testutil::TextBytes(2000, 1));
}

TEST(WriteLoop, RefreshReplacesNewerFilesAndNeverAdds) {
  Fixture f;
  ASSERT_EQ(f.Add({f.src + "/one.txt"}), 1);
  testutil::WriteFile(f.src + "/one.txt", "fresh");
  Touch(f.src + "/one.txt", 10);
  testutil::WriteFile(f.src + "/three.txt", "not in the archive");
  f.z.Switch = swRefresh;
  EXPECT_EQ(f.Add({f.src + "/*"}), 1);
  testutil::TempDir out;
  EXPECT_EQ(f.ExtractTo(out), 1);
  EXPECT_EQ(testutil::ReadFile(out.file("one.txt")), "fresh");

  // Refresh or delete on an archive that does not exist: 26859, nothing written.
  f.errors.clear();
  f.arc = f.tmp.file("missing.zip");
  EXPECT_EQ(f.Add({f.src + "/*"}), 0);
  EXPECT_TRUE(f.Has(E_NOTHINGTODO2));
  EXPECT_FALSE(fs::exists(f.arc));
}

TEST(WriteLoop, MoveDeletesSourcesAfterWritingInOrder) {
  Fixture f;
  testutil::WriteFile(f.src + "/three.txt", "3");
  std::vector<std::pair<int, int>> calls;
  f.z.Switch = swMove;
  f.z.OnDeleteFile = [&](TZipCommon*, const std::string& name, int count, int max) {
    EXPECT_TRUE(fs::exists(f.arc)) << "the archive is written before any source goes";
    EXPECT_FALSE(fs::exists(name));
    calls.emplace_back(count, max);
  };
  EXPECT_EQ(f.Add({f.src + "/*"}), 3);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_TRUE(fs::is_empty(f.src));
}

TEST(WriteLoop, ExcludeSpecAndNothingFound) {
  Fixture f;
  fs::create_directories(f.src + "/skip");
  testutil::WriteFile(f.src + "/skip/x.txt", "x");
  testutil::WriteFile(f.src + "/keep.log", "log");
  f.z.ExcludeSpec = {"*.log", f.src + "/skip/*.txt"};
  f.z.RecurseDirs = true;
  EXPECT_EQ(f.Add({f.src + "/*"}), 2);
  f.errors.clear();
  f.arc = f.tmp.file("none.zip");
  EXPECT_EQ(f.Add({f.src + "/*.nothing"}), 0);
  EXPECT_TRUE(f.Has(E_NOTHINGTODO));
  EXPECT_FALSE(fs::exists(f.arc));
  f.errors.clear();
  f.arc = f.tmp.file("no/such/folder/a.zip");
  EXPECT_EQ(f.Add({f.src + "/*"}), 0);
  EXPECT_TRUE(f.Has(E_INVALIDDIR));
}

TEST(WriteLoop, StoredNamesByMode) {
  TZip z;
  const std::string root = "/data/proj/";
  z.StoredDirNames = sdNone;
  EXPECT_EQ(z.StoredName("/data/proj/a/b.txt", root), "b.txt");
  z.StoredDirNames = sdAbsolute;
  EXPECT_EQ(z.StoredName("/data/proj/a/b.txt", root), "/data/proj/a/b.txt");
  z.StoredDirNames = sdAbsoluteNoDrv;
  EXPECT_EQ(z.StoredName("//server/share/a/b.txt", root), "/a/b.txt");
  z.StoredDirNames = sdAbsoluteNoRoot;
  EXPECT_EQ(z.StoredName("/data/proj/a/b.txt", root), "data/proj/a/b.txt");
  z.StoredDirNames = sdRelative;
  EXPECT_EQ(z.StoredName("/data/proj/a/b.txt", root), "a/b.txt");
  EXPECT_EQ(z.StoredName("/DATA/Proj/a/b.txt", root), "a/b.txt") << "the root compares without case";
  z.StoredDirNames = sdRelativeStoreStart;
  EXPECT_EQ(z.StoredName("/data/proj/a/b.txt", root), "proj/a/b.txt");
}

TEST(WriteLoop, ExplorerModesCutTheBaseFolder) {
  Fixture f;
  fs::create_directories(f.src + "/x/y");
  testutil::WriteFile(f.src + "/x/y/deep.txt", "deep");
  testutil::WriteFile(f.src + "/x/top.txt", "top");
  f.z.StoredDirNames = sdExplorer_UserDefineDefaultDir;
  EXPECT_EQ(f.Add({f.src + "/x/*"}), 0);
  EXPECT_TRUE(f.Has(E_REQUIREDPROPERTY));
  f.z.DefaultDir = f.src;
  f.z.RecurseDirs = true;
  EXPECT_EQ(f.Add({f.src + "/x/*"}), 2);
  testutil::TempDir out;
  f.ExtractTo(out);
  EXPECT_TRUE(fs::exists(out.file("x/y/deep.txt")));
  EXPECT_TRUE(fs::exists(out.file("x/top.txt")));
}

TEST(WriteLoop, HostileExistingArchiveStaysUntouchedAndNoTempFileRemains) {
  Fixture f;
  testutil::TempDir temps;
  f.z.SetTempDir(temps.path());
  // A valid end record whose directory names an entry far outside the file.
  std::string bad("PK\x01\x02", 4);
  bad += std::string(42, '\0');
  bad[28] = 1;                                       // name length 1
  bad.replace(42, 4, std::string("\xF0\xFF\xFF\x7F", 4));  // local offset 2 GiB
  bad += "x";
  std::string end("PK\x05\x06", 4);
  end += std::string(18, '\0');
  end[8] = end[10] = 1;
  end[12] = static_cast<char>(bad.size());
  testutil::WriteFile(f.arc, bad + end);
  const std::string before = testutil::ReadFile(f.arc);
  EXPECT_EQ(f.Add({f.src + "/*"}), 0);
  EXPECT_FALSE(f.errors.empty());
  EXPECT_EQ(testutil::ReadFile(f.arc), before);
  EXPECT_TRUE(fs::is_empty(temps.path()));
}

TEST(WriteLoop, TempFileIsNeverOpenedThroughAPlantedLink) {
  Fixture f;
  testutil::TempDir temps;
  f.z.SetTempDir(temps.path());
  // Links at every name the temporary file could take would be refused, not followed.
  const std::string victim = f.tmp.file("victim");
  testutil::WriteFile(victim, "precious");
  for (const char* n : {"zid0000.tmp", "zid0001.tmp", "zidAAAA.tmp"})
    fs::create_symlink(victim, temps.path() + "/" + n);
  EXPECT_EQ(f.Add({f.src + "/*"}), 2);
  EXPECT_EQ(testutil::ReadFile(victim), "precious");
}

// The new archive is built beside the old one. Killed mid-write, the old
// archive stays byte-identical; stopped by SIGTERM (or Ctrl-C), zefa also
// removes what it had written.
TEST(WriteLoop, KilledOrInterruptedWriteLeavesTheOldArchiveByteIdentical) {
  Fixture f;
  ASSERT_EQ(f.Add({f.src + "/*"}), 2);
  const std::string before = testutil::ReadFile(f.arc);
  testutil::WriteFile(f.src + "/big.txt", testutil::TextBytes(48 << 20, 5));
  const std::string folder = fs::path(f.arc).parent_path().string();
  auto temps = [&] {
    int n = 0;
    for (auto& e : fs::directory_iterator(folder))
      if (e.path().filename().string().rfind("zid", 0) == 0) ++n;
    return n;
  };
  // An unnamed new archive shows in /proc as "<folder>/#<inode> (deleted)".
  const std::string real = fs::canonical(folder).string();
  auto unnamed = [&](pid_t pid) {
    std::error_code ec;
    for (auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
      const std::string to = fs::read_symlink(e.path(), ec).string();
      if (!ec && to.rfind(real + "/#", 0) == 0) return true;
    }
    return false;
  };
  for (int sig : {SIGTERM, SIGKILL}) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      execl(testutil::CliPath().c_str(), "zefa", "a", f.arc.c_str(), f.src.c_str(), "-r", "--level", "max",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // Signal it while it works: its new archive has been started beside the
    // old one (files may be compressed ahead elsewhere, so its size says little).
    bool writing = false;
    for (int i = 0; i < 3000 && !writing; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) FAIL() << "the write finished before it could be stopped";
      writing = temps() > 0 || unnamed(pid);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(writing);
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    if (sig == SIGTERM) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status;
      EXPECT_EQ(temps(), 0);
    } else {
      EXPECT_TRUE(WIFSIGNALED(status));
    }
    EXPECT_EQ(testutil::ReadFile(f.arc), before);
  }
}

// Names as the file system has them: an edited file of the same size replaces
// its entry (the date tells it changed), names that differ only by case are
// two entries, and a second file that would take a stored name already taken
// is reported by name instead of vanishing.
TEST(WriteLoop, ChangedSameSizeFilesCaseAndDuplicateNames) {
  Fixture f;
  f.z.OnReplaceFile = [](TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t, int64_t,
                         uint32_t, uint32_t, bool& replace) { replace = true; };
  ASSERT_EQ(f.Add({f.src + "/*"}), 2);
  std::string edited = testutil::ReadFile(f.src + "/one.txt");
  edited[0] ^= 1;
  testutil::WriteFile(f.src + "/one.txt", edited);
  Touch(f.src + "/one.txt", 10);
  testutil::WriteFile(f.src + "/One.txt", "case");
  EXPECT_EQ(f.Add({f.src + "/*"}), 2);
  fs::create_directories(f.src + "/sub");
  testutil::WriteFile(f.src + "/sub/two.txt", "same stored name");
  f.z.StoredDirNames = sdNone;
  f.Add({f.src + "/two.txt", f.src + "/sub/two.txt"});
  EXPECT_TRUE(f.Has(E_SKIPPEDFILE));

  testutil::TempDir out;
  f.ExtractTo(out);
  EXPECT_EQ(testutil::ReadFile(out.file("one.txt")), edited);
  EXPECT_EQ(testutil::ReadFile(out.file("One.txt")), "case");
  const std::string two = testutil::ReadFile(out.file("two.txt"));
  EXPECT_TRUE(two == "same stored name" || two == testutil::TextBytes(3000, 2));
}

namespace {

// The platform read hook of the test below: the file whose inode is set ends
// after `shrinkLeft` more bytes, as a file truncated while it is read would.
std::atomic<uint64_t> shrinkInode{0};
std::atomic<int64_t> shrinkLeft{0};
int64_t ShrinkingRead(plat::Handle h, int64_t count) {
  uint64_t dev = 0, ino = 0;
  if (shrinkInode == 0 || !plat::HandleIdentity(h, dev, ino) || ino != shrinkInode) return count;
  const int64_t n = std::min(count, std::max<int64_t>(shrinkLeft.load(), 0));
  shrinkLeft -= n;
  return n;
}

}  // namespace

// A file that shrinks while it is read, or one that vanished before its turn,
// fails the run: the old archive stays byte for byte, and the reason is said.
// A vanished file is left out only when the caller allows it; a FIFO is
// never opened.
TEST(WriteLoop, SourceThatShrinksOrVanishesFailsTheRunAndKeepsTheOldArchive) {
  struct Case {
    const char* what;
    TCompressMethod method;
    bool vanish;        // deleted at the first file's OnBegin (else: shrinks while read)
    bool skipUnreadable;
    int added;          // 0: the run failed
    int code;
  } cases[] = {
      {"deflated", cmDeflate, false, true, 0, E_READERROR},
      {"stored", cmStore, false, true, 0, E_READERROR},
      {"vanished", cmDeflate, true, false, 0, E_OPENERROR},
      {"vanished, allowed", cmDeflate, true, true, 2, E_OPENERROR},  // one.txt and two.txt
  };
  for (const Case& c : cases) {
    Fixture f;
    ASSERT_EQ(f.Add({f.src + "/one.txt"}), 1);
    const std::string before = testutil::ReadFile(f.arc);
    const std::string big = f.src + "/zbig.bin";
    testutil::WriteFile(big, testutil::RandomBytes(600000, 4));
    ASSERT_EQ(mkfifo((f.src + "/pipe").c_str(), 0600), 0);
    testutil::WriteFile(f.src + "/one.txt", "changed");
    f.z.OnReplaceFile = [](TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t, int64_t,
                           uint32_t, uint32_t, bool& replace) { replace = true; };
    f.z.SetCompressMethod(c.method);
    f.z.SkipUnreadableFiles = c.skipUnreadable;
    std::string extra;
    f.z.OnError = [&](TZipCommon*, const std::string&, const std::string& e, const std::string&, int code) {
      f.errors.push_back(code);
      if (code == c.code) extra = e;
    };
    if (c.vanish) {
      f.z.OnBegin = [&](TZipCommon*, const std::string&, int, bool&) { fs::remove(big); };
    } else {
      uint64_t dev = 0, ino = 0;
      ASSERT_TRUE(plat::FileIdentity(big, dev, ino));
      shrinkInode = ino;
      shrinkLeft = 300000;
      plat::SetFileReadLimitHook(ShrinkingRead);
    }
    const int added = f.Add({f.src + "/*"});
    plat::SetFileReadLimitHook(nullptr);
    shrinkInode = 0;
    EXPECT_EQ(added, c.added) << c.what;
    EXPECT_EQ(f.z.RunFailed(), c.added == 0) << c.what;
    EXPECT_TRUE(f.Has(c.code)) << c.what;
    EXPECT_TRUE(f.Has(E_SKIPPEDFILE)) << c.what;  // the FIFO
    EXPECT_NE(extra.find(c.vanish ? "No such file" : "300000 bytes of 600000"), std::string::npos) << c.what << extra;
    if (c.added == 0) {
      EXPECT_EQ(testutil::ReadFile(f.arc), before) << c.what;
    }
  }
}
