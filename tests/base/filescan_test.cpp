// The file scanner: pattern merging, walks, attribute filter, list order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/zidFileScan.h"
#include "platform/datetime.h"
#include "platform/files.h"
#include "support/testutil.h"

using namespace zid;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// A scanner with its events recorded.
struct Recorder {
  std::vector<std::string> roots, recursed, scanned;
  int finished = 0;
  int finishedCount = -1;
  explicit Recorder(TzidFileScan& s) {
    s.OnRootDirChange = [this](TzidFileScan&, const std::string& d) { roots.push_back(d); };
    s.OnRecurseDir = [this](TzidFileScan&, const std::string& d) { recursed.push_back(d); };
    s.OnScanFile = [this](TzidFileScan&, const std::string& n, int, int64_t) { scanned.push_back(n); };
    s.OnFinished = [this](TzidFileScan&, int count, int64_t) {
      ++finished;
      finishedCount = count;
    };
  }
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// Writes files below t: relative name, content.
void WriteFiles(const TempDir& t, const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [name, data] : files) WriteFile(t.file(name), data);
}

// The paths of the collected list, path + name.
std::vector<std::string> Collected(const TzidFileScan& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.Files().Count(); ++i) out.push_back(s.Files()[i].Path + s.Files()[i].Name);
  return out;
}

}  // namespace

TEST(FileScan, LinesOfOneFolderAreMergedIntoOneWalk) {
  TempDir t;
  WriteFiles(t, {{"a.txt", "1"}, {"readme", "22"}, {"sub/c.dat", "333"}});
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({t.path() + "/*.txt", t.path() + "/*.*"});
  s.Scan();
  // One walk with the mask "*": the name without a dot is found too.
  EXPECT_EQ(r.roots, std::vector<std::string>{t.path() + "/"});
  EXPECT_EQ(r.recursed, (std::vector<std::string>{t.path() + "/", t.path() + "/sub/"}));
  EXPECT_EQ(Sorted(r.scanned), (std::vector<std::string>{"a.txt", "c.dat", "readme"}));
  EXPECT_TRUE(s.FileSpec().empty());
  EXPECT_EQ(s.FilesCount(), 3);
  EXPECT_EQ(s.FilesSize(), 6);
  EXPECT_EQ(r.finished, 1);
  EXPECT_EQ(s.RootDir(), t.path() + "/");
}

TEST(FileScan, MergingNeverDropsAWiderMask) {
  TempDir t;
  WriteFiles(t, {{"ab", ""}, {"abc", ""}, {"x.txt", ""}, {"y.txt", ""}});
  TzidFileScan s;
  Recorder r(s);
  // "a*" read as a name matches "a?"; it must still find "abc". A fixed name
  // followed by a mask that covers it gives way to the mask.
  s.SetFileSpec({t.path() + "/a?", t.path() + "/a*", t.path() + "/x.txt", t.path() + "/*.txt", "   "});
  s.Scan();
  EXPECT_EQ(r.roots.size(), 1u);
  EXPECT_EQ(Sorted(r.scanned), (std::vector<std::string>{"ab", "abc", "x.txt", "y.txt"}));
}

TEST(FileScan, LineWithoutFolderWalksRootDir) {
  TempDir t, other;
  WriteFile(t.file("a.txt"), "x");
  WriteFile(other.file("b.txt"), "y");
  WriteFile(other.file("b.dat"), "y");
  TzidFileScan s;
  Recorder r(s);
  s.SetRootDir(t.path());
  EXPECT_EQ(s.RootDir(), t.path() + "/");
  // The second line means the RootDir the scan started with, although the
  // first walk moved RootDir to its own folder.
  s.SetFileSpec({other.path() + "/*.dat", "*.txt"});
  s.Scan();
  EXPECT_EQ(r.roots, (std::vector<std::string>{other.path() + "/", t.path() + "/"}));
  EXPECT_EQ(Sorted(r.scanned), (std::vector<std::string>{"a.txt", "b.dat"}));
}

TEST(FileScan, WithoutFileSpecWalksRootDirWithStar) {
  TempDir t;
  WriteFiles(t, {{"a", "x"}, {"s/b.c", "x"}});
  TzidFileScan s;
  Recorder r(s);
  s.SetRootDir(t.path());
  s.Scan();
  EXPECT_EQ(Sorted(Collected(s)), (std::vector<std::string>{t.path() + "/a", t.path() + "/s/b.c"}));
  EXPECT_TRUE(r.roots.empty());
  EXPECT_EQ(r.finished, 1);

  TzidFileScan missing;
  Recorder m(missing);
  missing.SetRootDir(t.path() + "/nowhere");
  missing.Scan();
  EXPECT_EQ(missing.FilesCount(), 0);
  EXPECT_EQ(m.finished, 1);
}

TEST(FileScan, HiddenFoldersNeedIncludeHiddenDirs) {
  TempDir t;
  WriteFiles(t, {{".hid/f.txt", "x"}, {"vis/g.txt", "x"}});
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  EXPECT_EQ(r.scanned, std::vector<std::string>{"g.txt"});
  EXPECT_EQ(r.recursed.size(), 2u);

  TzidFileScan h;
  Recorder rh(h);
  h.IncludeHiddenDirs = true;
  h.SetFileSpec({t.path() + "/*"});
  h.Scan();
  EXPECT_EQ(Sorted(rh.scanned), (std::vector<std::string>{"f.txt", "g.txt"}));
}

TEST(FileScan, AttributeFilterOnFiles) {
  TempDir t;
  WriteFile(t.file(".h.txt"), "x");  // hidden here: a dot-name, also an archive file
  WriteFiles(t, {{"plain.txt", "x"}, {"ro.txt", "x"}});
  ASSERT_TRUE(plat::FileSetAttr(t.file("ro.txt"), plat::faReadOnly));
  auto scan = [&](TzidFileAttributes attrs, TzidFileAttributes ex) {
    TzidFileScan s;
    Recorder r(s);
    s.Attributes = attrs;
    s.AttributesEx = ex;
    s.SetFileSpec({t.path() + "/*.txt"});
    s.Scan();
    return Sorted(r.scanned);
  };
  EXPECT_EQ(scan({fsReadOnly}, {}), std::vector<std::string>{"ro.txt"});
  EXPECT_EQ(scan({fsHidden}, {}), std::vector<std::string>{".h.txt"});
  // The default set takes the hidden file through its archive bit.
  TzidFileScan d;
  EXPECT_EQ(scan(d.Attributes, {}), (std::vector<std::string>{".h.txt", "plain.txt", "ro.txt"}));
  EXPECT_EQ(scan(d.Attributes, {fsHidden}), (std::vector<std::string>{"plain.txt", "ro.txt"}));
  EXPECT_EQ(scan(d.Attributes, {fsReadOnly}), (std::vector<std::string>{".h.txt", "plain.txt"}));
  EXPECT_TRUE(scan({}, {}).empty());
}

TEST(FileScan, AttributeWords) {
  TzidFileScan s;
  s.Attributes = {fsZeroAttr};
  EXPECT_TRUE(s.AcceptsAttributes(0));
  EXPECT_TRUE(s.AcceptsAttributes(plat::faNormal));
  EXPECT_FALSE(s.AcceptsAttributes(plat::faNormal | plat::faReadOnly));
  EXPECT_FALSE(s.AcceptsAttributes(plat::faArchive));
  EXPECT_TRUE(s.AcceptsAttributes(plat::faNotContentIndexed | plat::faSysFile));
  s.Attributes = {fsVolumeID};  // never tested
  EXPECT_FALSE(s.AcceptsAttributes(plat::faVolumeID));
  s.Attributes = {fsEncrypted, fsCompressed, fsSysFile, fsDirectory};
  EXPECT_TRUE(s.AcceptsAttributes(plat::faEncrypted));
  EXPECT_TRUE(s.AcceptsAttributes(plat::faCompressed));
  EXPECT_TRUE(s.AcceptsAttributes(plat::faSysFile));
  EXPECT_TRUE(s.AcceptsAttributes(plat::faDirectory));
  s.AttributesEx = {fsDirectory};
  EXPECT_FALSE(s.AcceptsAttributes(plat::faDirectory | plat::faNotContentIndexed));
}

TEST(FileScan, FoldersGoToTheHookWithTheirPath) {
  TempDir t;
  WriteFile(t.file("d/e/f.txt"), "abc");
  TzidFileScan s;
  s.Attributes.Include(fsDirectory);
  s.SetFileSpec({t.path() + "/*.txt"});
  s.Scan();
  ASSERT_EQ(s.Files().Count(), 3);
  EXPECT_EQ(s.Files()[0].Name, "");
  EXPECT_EQ(s.Files()[0].Path, t.path() + "/d/");
  EXPECT_EQ(s.Files()[1].Path, t.path() + "/d/e/");
  const TFileObject& f = s.Files()[2];
  EXPECT_EQ(f.Name, "f.txt");
  EXPECT_EQ(f.Path, t.path() + "/d/e/");
  EXPECT_EQ(f.Size(), 3);
  EXPECT_EQ(f.DateTime, plat::UnixToDosDateTime(plat::FileStat(t.file("d/e/f.txt")).mtime));
  EXPECT_EQ(s.FilesCount(), 1);  // folders are not counted
}

TEST(FileScan, OwnerHookDecides) {
  TempDir t;
  WriteFiles(t, {{"a.txt", "12"}, {"b.txt", "345"}});
  TzidFileScan s;
  Recorder r(s);
  int marker = 7;
  std::vector<std::string> seen;
  s.HookData = &marker;
  s.Hook = [&](TzidFileScan&, const std::string& dir, void* user, const plat::FindData& e) {
    EXPECT_EQ(user, &marker);
    EXPECT_EQ(dir, t.path() + "/");
    seen.push_back(e.name);
    return e.name == "b.txt";
  };
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  EXPECT_EQ(Sorted(seen), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(r.scanned, std::vector<std::string>{"b.txt"});
  EXPECT_EQ(s.FilesSize(), 3);
  EXPECT_EQ(s.Files().Count(), 0);

  // Without UpdateList everything is counted and nothing is reported.
  TzidFileScan quiet;
  Recorder rq(quiet);
  quiet.UpdateList = false;
  quiet.SetFileSpec({t.path() + "/*"});
  quiet.Scan();
  EXPECT_EQ(quiet.FilesCount(), 2);
  EXPECT_EQ(quiet.FilesSize(), 5);
  EXPECT_TRUE(rq.scanned.empty());
}

TEST(FileScan, SortedByNameLaterFoundFirst) {
  TempDir t;
  WriteFiles(t, {{"x/same.txt", "1"}, {"y/same.txt", "22"}, {"a.txt", "333"}});
  TzidFileScan s;
  s.SetSorted(soByName);
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  // The walk finds x/ before y/; among equal names the later comes first.
  EXPECT_EQ(Collected(s), (std::vector<std::string>{t.path() + "/a.txt", t.path() + "/y/same.txt",
                                                    t.path() + "/x/same.txt"}));
  int finished = 0;
  s.OnFinished = [&](TzidFileScan&, int, int64_t) { ++finished; };
  s.SetSorted(soBySize);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(s.Files()[0].Size(), 1);
  EXPECT_EQ(s.Files()[2].Size(), 3);
}

TEST(FilesList, KeysAndQuicksort) {
  TFilesList list;
  auto make = [](std::string name, std::string path, uint32_t low, uint32_t dt) {
    auto o = std::make_unique<TFileObject>();
    o->Name = std::move(name);
    o->Path = std::move(path);
    o->SizeLow = low;
    o->DateTime = dt;
    return o;
  };
  // Sizes compare as signed 32-bit numbers: 0x80000000 is the smallest.
  list.SortKind = soBySize;
  list.Insert(make("a", "/", 1, 0));
  list.Insert(make("b", "/", 0x80000000u, 0));
  EXPECT_EQ(list[0].Name, "b");
  list.Clear();
  list.SortKind = soByType;
  list.Insert(make("x.TXT", "/", 0, 0));
  list.Insert(make("y.doc", "/", 0, 0));
  list.Insert(make("z", "/", 0, 0));
  EXPECT_EQ(list[0].Name, "z");
  EXPECT_EQ(list[1].Name, "y.doc");
  EXPECT_EQ(list[2].Name, "x.TXT");
  list.SortKind = soByPath;
  list.Sort();
  list.Delete(0);
  list.Delete(99);  // out of range: nothing
  EXPECT_EQ(list.Count(), 2);

  // A large unsorted list re-sorted by time.
  TFilesList big;
  std::string bytes = testutil::RandomBytes(4000, 11);
  for (size_t i = 0; i < bytes.size(); i += 4) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = (v << 8) | static_cast<unsigned char>(bytes[i + k]);
    big.Insert(make("n", "/", 0, v % 50));  // many equal keys
  }
  big.SortKind = soByTime;
  big.Sort();
  for (int i = 1; i < big.Count(); ++i) ASSERT_LE(big[i - 1].DateTime, big[i].DateTime);
}

TEST(FileScan, CancelStillFiresFinished) {
  TempDir t;
  for (int i = 0; i < 10; ++i) WriteFile(t.file("f" + std::to_string(i)), "x");
  bool shared = false;
  TzidFileScan s;
  Recorder r(s);
  s.SetCancelFlag(&shared);
  s.OnScanFile = [](TzidFileScan& sender, const std::string&, int count, int64_t) {
    if (count == 3) sender.Cancel();
  };
  s.SetFileSpec({t.path() + "/*"});
  shared = true;  // a scan starts by clearing the flag
  s.Scan();
  EXPECT_TRUE(shared);
  EXPECT_EQ(s.FilesCount(), 3);
  EXPECT_EQ(r.finished, 1);
  EXPECT_EQ(r.finishedCount, 3);
}

TEST(FileScan, ThrowingHandlerStillFiresFinished) {
  TempDir t;
  WriteFile(t.file("a"), "x");
  TzidFileScan s;
  Recorder r(s);
  s.OnScanFile = [](TzidFileScan&, const std::string&, int, int64_t) { throw std::runtime_error("stop"); };
  s.SetFileSpec({t.path() + "/*"});
  EXPECT_THROW(s.Scan(), std::runtime_error);
  EXPECT_EQ(r.finished, 1);
}

TEST(FileScan, UnreadableFolderIsSkipped) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  TempDir t;
  WriteFiles(t, {{"open/a.txt", "x"}, {"shut/b.txt", "x"}});
  ASSERT_EQ(chmod(t.file("shut").c_str(), 0), 0);
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  chmod(t.file("shut").c_str(), 0700);
  EXPECT_EQ(r.scanned, std::vector<std::string>{"a.txt"});
}

TEST(FileScan, FolderVanishingDuringTheScanIsSkipped) {
  // Runs as root too: the folder cannot be listed when the walk gets there.
  TempDir t;
  WriteFiles(t, {{"a.txt", "x"}, {"z/b.txt", "x"}});
  TzidFileScan s;
  Recorder r(s);
  s.OnScanFile = [&](TzidFileScan&, const std::string& name, int, int64_t) {
    r.scanned.push_back(name);
    if (name == "a.txt") {
      unlink(t.file("z/b.txt").c_str());
      rmdir(t.file("z").c_str());
    }
  };
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  EXPECT_EQ(r.scanned, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(r.finished, 1);
}

TEST(FileScan, MissingFolderIsSkipped) {
  TempDir t;
  WriteFile(t.file("a.txt"), "x");
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({t.path() + "/gone/*.txt", t.path() + "/*.txt"});
  s.Scan();
  EXPECT_EQ(r.scanned, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(r.finished, 1);
}

TEST(FileScan, LinksAreNotFollowed) {
  TempDir t;
  WriteFile(t.file("sub/a.txt"), "x");
  ASSERT_EQ(symlink("..", t.file("sub/up").c_str()), 0);   // a loop
  ASSERT_EQ(symlink(t.path().c_str(), t.file("self").c_str()), 0);
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({t.path() + "/*"});
  s.Scan();
  EXPECT_EQ(r.recursed, (std::vector<std::string>{t.path() + "/", t.path() + "/sub/"}));
  EXPECT_EQ(r.scanned, std::vector<std::string>{"a.txt"});  // links carry no accepted attribute
}

TEST(FileScan, InvalidUtf8NamesPassUnchanged) {
  TempDir t;
  const std::string name = "bad\xFF\xFE\x80.txt";
  WriteFile(t.file(name), "x");
  TzidFileScan s;
  s.SetFileSpec({t.path() + "/*.txt"});
  s.Scan();
  ASSERT_EQ(s.Files().Count(), 1);
  EXPECT_EQ(s.Files()[0].Name, name);
}

namespace {

constexpr int kDeepLevels = 10000;

// Builds t/d/d/.../d (levels deep) step by step: the full path is far past
// what the system takes in one call.
bool BuildDeepTree(const std::string& top, int levels) {
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  for (int i = 0; i < levels; ++i) {
    if (mkdirat(fd, "d", 0700) != 0) break;
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    if (next < 0) return false;
    fd = next;
    if (i == 0 || i == levels - 1) {
      int f = openat(fd, "f.txt", O_CREAT | O_WRONLY, 0600);
      if (f >= 0) close(f);
    }
  }
  close(fd);
  return true;
}

// Takes the chain apart from the bottom, walking down and up with the
// current folder so no path ever gets long. The folder is restored after.
void RemoveDeepTree(const std::string& top, int levels) {
  int back = open(".", O_RDONLY | O_DIRECTORY);
  if (back < 0 || chdir(top.c_str()) != 0) return;
  int depth = 0;
  while (depth < levels && chdir("d") == 0) ++depth;
  for (; depth >= 0; --depth) {
    unlink("f.txt");
    rmdir("d");
    if (depth > 0 && chdir("..") != 0) break;
  }
  if (fchdir(back) != 0) ADD_FAILURE() << "cannot return to the folder of the tests";
  close(back);
}

}  // namespace

TEST(FileScan, VeryDeepTreeDoesNotExhaustTheStack) {
  // Removing 10,000 folders from a disk can take a long while; a memory file
  // system does it at once, so the tree goes there when there is one.
  TempDir fallback;
  char tmpl[] = "/dev/shm/zefa-deep-XXXXXX";
  const bool inMemory = access("/dev/shm", W_OK) == 0 && mkdtemp(tmpl) != nullptr;
  const std::string top = inMemory ? std::string(tmpl) : fallback.path();
  ASSERT_TRUE(BuildDeepTree(top, kDeepLevels));
  TzidFileScan s;
  Recorder r(s);
  s.SetFileSpec({top + "/*.txt"});
  s.Scan();
  RemoveDeepTree(top, kDeepLevels);
  if (inMemory) rmdir(top.c_str());
  // Folders are walked until their path gets longer than the system takes;
  // deeper ones are skipped like unreadable folders.
  EXPECT_GT(r.recursed.size(), 1000u);
  EXPECT_GE(s.FilesCount(), 1);
  EXPECT_EQ(r.finished, 1);
}

TEST(FileScan, FlatScanTakesPatternsAsTheyStand) {
  TempDir t;
  WriteFiles(t, {{"a.txt", "1"}, {"A.TXT", "22"}, {"b.dat", "333"}, {"sub/c.txt", "4444"}});
  TzidFileScan s;
  Recorder r(s);
  s.RecurseDirs = false;
  s.SetFileSpec({t.path() + "/*.txt", t.path() + "/b.dat", t.path() + "/B.DAT", t.path() + "/none*"});
  s.Scan();
  EXPECT_EQ(r.roots, (std::vector<std::string>{t.path() + "/", t.path() + "/"}));
  EXPECT_EQ(Sorted(r.scanned), (std::vector<std::string>{"A.TXT", "a.txt", "b.dat"}));
  EXPECT_TRUE(r.recursed.empty());
  EXPECT_EQ(s.FileSpec().size(), 4u);  // only the recursive scan consumes the lines
}

TEST(FileScan, ScanDrivesSkipsRemovable) {
  TempDir fixed, removable;
  WriteFile(fixed.file("on-fixed.txt"), "x");
  WriteFile(removable.file("on-stick.txt"), "x");
  TzidFileScan s;
  Recorder r(s);
  s.ScanOptions = soScanDrvs;
  s.DriveList = [&] {
    plat::DriveInfo a, b;
    a.root = fixed.path() + "/";
    a.type = plat::DriveType::Fixed;
    b.root = removable.path() + "/";
    b.type = plat::DriveType::Removable;
    return std::vector<plat::DriveInfo>{a, b};
  };
  s.SetFileSpec({"*.txt"});
  s.Scan();
  EXPECT_EQ(r.scanned, std::vector<std::string>{"on-fixed.txt"});
}
