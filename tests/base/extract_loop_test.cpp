// The common extract loop, driven through a small in-memory extractor.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/base/zidCrc.h"
#include "engine/base/zidUnBase.h"
#include "platform/hooks.h"
#include "support/testutil.h"

using namespace zid;
namespace fs = std::filesystem;

namespace {

struct MemEntry {
  TEntry info;
  std::string data;
  std::string password;  // encrypted entries: the one password the verifier accepts
};

// A test-only extractor: its "archive" is a list of entries in memory.
class TMemExtractor : public TUnBase {
 public:
  std::vector<MemEntry> entries;
  std::function<void(size_t index)> beforeEntry;
  std::vector<TEntryResult> results;

 protected:
  void ProcessArchive() override {
    for (size_t i = 0; i < entries.size() && !Cancelled(); ++i) {
      if (beforeEntry) beforeEntry(i);
      MemEntry& m = entries[i];
      auto decode = [&]() {
        std::string copy = m.data;
        for (size_t pos = 0; pos < copy.size(); pos += 1000) {
          int64_t n = std::min<int64_t>(1000, copy.size() - pos);
          if (!WriteDecoded(reinterpret_cast<uint8_t*>(&copy[pos]), n)) return false;
          ReportProgress(m.info.unpackedSize, pos + n);
        }
        return true;
      };
      auto verify = [&](const std::string& pw) { return !pw.empty() && pw == m.password; };
      results.push_back(ExtractEntry(m.info, decode, verify));
    }
  }
};

MemEntry File(const std::string& name, const std::string& data) {
  MemEntry m;
  m.info.storedName = name;
  m.info.packedSize = m.info.unpackedSize = static_cast<int64_t>(data.size());
  m.info.crc = Crc32Of(data.data(), static_cast<int64_t>(data.size()));
  m.info.dosDate = 0x52A36000;  // 2021-05-03 12:00:00
  m.data = data;
  return m;
}

struct Report {
  std::string file, ext;
  int code;
};

class ExtractLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    archive = tmp.file("fake.arc");
    testutil::WriteFile(archive, "not really an archive");
    target = tmp.file("out");
    sentinel = tmp.file("sentinel");
    fs::create_directories(target);
    fs::create_directories(sentinel);
    testutil::WriteFile(sentinel + "/keep.txt", "sentinel");
    x.SetArchiveFile(archive);
    x.SetExtractDir(target);
    x.FileSpec = {"*.*"};
    x.OnError = [this](TZipCommon*, const std::string& f, const std::string& e, const std::string&, int c) {
      reports.push_back({f, e, c});
    };
  }
  bool SentinelUntouched() {
    std::error_code ec;
    size_t n = 0;
    for (auto& p : fs::recursive_directory_iterator(sentinel, ec)) (void)p, ++n;
    return n == 1 && testutil::ReadFile(sentinel + "/keep.txt") == "sentinel";
  }
  int CountCode(int code) {
    return static_cast<int>(std::count_if(reports.begin(), reports.end(), [&](auto& r) { return r.code == code; }));
  }
  testutil::TempDir tmp;
  std::string archive, target, sentinel;
  TMemExtractor x;
  std::vector<Report> reports;
};

TEST_F(ExtractLoop, ExtractsFilesWithFoldersDatesAndChecksums) {
  x.entries = {File("a.txt", "hello"), File("sub/dir/b.bin", testutil::RandomBytes(5000, 1))};
  EXPECT_EQ(x.Extract(), 2);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(testutil::ReadFile(target + "/a.txt"), "hello");
  EXPECT_EQ(testutil::ReadFile(target + "/sub/dir/b.bin"), testutil::RandomBytes(5000, 1));
  struct stat st;
  ASSERT_EQ(stat((target + "/a.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, plat::DosDateTimeToUnix(0x52A36000));
}

TEST_F(ExtractLoop, StarDotStarSelectsANameWithoutDotAndKeepsTheDotOnTheMask) {
  x.entries = {File("README", "r")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(x.FileSpec[0], "*.*");  // "*.*" already has its dot
  x.FileSpec = {"READ*"};
  x.entries = {File("README", "r")};
  EXPECT_EQ(x.Extract(), 1);
  x.FileSpec = {"*"};
  x.entries = {File("docs/README", "r")};
  EXPECT_EQ(x.Extract(), 1);
}

TEST_F(ExtractLoop, AMissDoesNotChangeTheMaskForLaterEntries) {
  x.FileSpec = {"t*"};
  x.entries = {File("b.txt", "1"), File("tfile", "2"), File("t.txt", "3")};
  EXPECT_EQ(x.Extract(), 2);
  EXPECT_TRUE(fs::exists(target + "/t.txt"));
  EXPECT_EQ(x.FileSpec, TStrings{"t*"});
}

TEST_F(ExtractLoop, MasksWithAndWithoutRecursion) {
  x.FileSpec = {"*.txt"};
  x.entries = {File("a.txt", "1"), File("d/b.txt", "2"), File("c.bin", "3")};
  EXPECT_EQ(x.Extract(), 2);
  x.RecurseDirs = false;
  x.entries = {File("a.txt", "1"), File("d/b.txt", "2")};
  EXPECT_EQ(x.Extract(), 1);
  x.FileSpec = {"d/*.txt"};
  x.entries = {File("a.txt", "1"), File("d\\b.txt", "2")};
  EXPECT_EQ(x.Extract(), 1);
}

TEST_F(ExtractLoop, ExcludeSpecFiresOnExcludeFile) {
  std::vector<std::string> excluded;
  x.OnExcludeFile = [&](TZipCommon*, const std::string& n) { excluded.push_back(n); };
  x.ExcludeSpec = {"*.bak"};
  x.entries = {File("a.txt", "1"), File("b.bak", "2")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(excluded, std::vector<std::string>{"b.bak"});
}

TEST_F(ExtractLoop, DrivePrefixIsCutAndUseStoredDirsDecidesTheFolder) {
  x.entries = {File("C:\\DATA\\A.TXT", "a")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_TRUE(fs::exists(target + "/DATA/A.TXT"));
  x.UseStoredDirs = false;
  x.entries = {File("C:\\DATA\\B.TXT", "b")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_TRUE(fs::exists(target + "/B.TXT"));
}

TEST_F(ExtractLoop, AbsoluteDriveAndNetworkPrefixesAreCut) {
  x.entries = {File("/etc/x1", "1"), File("//host/x2", "2"), File("C:x3", "3"), File("\\\\srv\\share\\x4", "4"),
               File("\\\\?\\C:\\x5", "5"), File("D:/x6", "6")};
  EXPECT_EQ(x.Extract(), 6);
  EXPECT_EQ(CountCode(E_BADFILENAME), 6);  // each cut is said, as a climbing name is
  EXPECT_TRUE(fs::exists(target + "/etc/x1"));
  EXPECT_TRUE(fs::exists(target + "/host/x2"));
  EXPECT_TRUE(fs::exists(target + "/x3"));
  EXPECT_TRUE(fs::exists(target + "/x4"));
  EXPECT_TRUE(fs::exists(target + "/x5"));
  EXPECT_TRUE(fs::exists(target + "/x6"));
  EXPECT_TRUE(SentinelUntouched());
}

// A name that climbs loses its climbing parts and lands inside the target,
// said once; an empty name or one with a NUL is refused; tested, the data
// pass with the same warning.
TEST_F(ExtractLoop, NamesThatClimbOutAreCutAndLandInside) {
  const std::pair<std::string, std::string> cut[] = {
      {"../sentinel/keep.txt", "sentinel/keep.txt"}, {"a/../../sentinel/new", "sentinel/new"},
      {"..\\sentinel\\x", "sentinel/x"},            {"../../../../up.txt", "up.txt"},
      {"C:..\\c.txt", "c.txt"}};
  x.entries = {File("", "e"), File("///", "e"), File(std::string("a\0b", 3), "e"), File("ok/../fine.txt", "good")};
  for (const auto& [stored, written] : cut) x.entries.push_back(File(stored, written));
  EXPECT_EQ(x.Extract(), 6);
  EXPECT_EQ(CountCode(E_BADFILENAME), 8);  // 5 cut, 3 refused
  EXPECT_EQ(testutil::ReadFile(target + "/fine.txt"), "good");
  for (const auto& [stored, written] : cut) EXPECT_EQ(testutil::ReadFile(target + "/" + written), written) << stored;
  EXPECT_TRUE(SentinelUntouched());
  reports.clear();
  EXPECT_EQ(x.ExtractTest(), 6);
  EXPECT_EQ(CountCode(E_BADFILENAME), 8);
  EXPECT_EQ(x.Stats().passed, 6);
}

TEST_F(ExtractLoop, PlantedFolderLinkIsNeverFollowed) {
  ASSERT_EQ(symlink(sentinel.c_str(), (target + "/link").c_str()), 0);
  x.entries = {File("link/new.txt", "evil"), File("link/keep.txt", "evil"), File("other.txt", "ok")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(CountCode(E_OPENERROR), 2);
  EXPECT_TRUE(SentinelUntouched());
}

TEST_F(ExtractLoop, PlantedFileLinkIsReplacedNotWrittenThrough) {
  ASSERT_EQ(symlink((sentinel + "/keep.txt").c_str(), (target + "/a.txt").c_str()), 0);
  x.entries = {File("a.txt", "new content")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_TRUE(SentinelUntouched());
  EXPECT_FALSE(fs::is_symlink(target + "/a.txt"));
  EXPECT_EQ(testutil::ReadFile(target + "/a.txt"), "new content");
}

TEST_F(ExtractLoop, LinkPlantedByAnEarlierStepIsNotFollowedEither) {
  x.entries = {File("d/one.txt", "1"), File("d/two.txt", "2")};
  x.entries[1].info.attr = 0x21;  // read-only: the attribute change must not reach the sentinel
  x.beforeEntry = [&](size_t i) {
    if (i == 1) {
      fs::remove_all(target + "/d");
      ASSERT_EQ(symlink(sentinel.c_str(), (target + "/d").c_str()), 0);
    }
  };
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_TRUE(SentinelUntouched());
  struct stat st;
  ASSERT_EQ(stat(sentinel.c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST_F(ExtractLoop, HugeNamesAndDeepPathsGiveAnErrorNotACrash) {
  x.entries = {File(std::string(65536, 'n'), "1"), File([] {
                 std::string s;
                 for (int i = 0; i < 10000; ++i) s += "d/";
                 return s + "f";
               }(), "2"),
               File("small.txt", "3")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(reports.size(), 2u);
  EXPECT_TRUE(fs::exists(target + "/small.txt"));
}

TEST_F(ExtractLoop, SkipWithoutConfirmationExtractsNothingEvenIntoAnEmptyFolder) {
  x.OverwriteMode = omSkip;
  x.entries = {File("a.txt", "1"), File("b.txt", "2")};
  EXPECT_EQ(x.Extract(), 0);
  EXPECT_TRUE(fs::is_empty(target));
}

TEST_F(ExtractLoop, ConfirmOverwritesWithoutOnFileExistsReportsAndSkips) {
  testutil::WriteFile(target + "/a.txt", "old");
  x.ConfirmOverwrites = true;
  x.entries = {File("a.txt", "new"), File("b.txt", "b")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(testutil::ReadFile(target + "/a.txt"), "old");
  ASSERT_EQ(CountCode(E_REQUIREDEVENT), 1);
  EXPECT_EQ(reports[0].ext, "OnFileExists");
}

TEST_F(ExtractLoop, OnFileExistsCanRenameSkipOrOverwrite) {
  testutil::WriteFile(target + "/a.txt", "old");
  testutil::WriteFile(target + "/b.txt", "old");
  testutil::WriteFile(target + "/c.txt", "old");
  x.ConfirmOverwrites = true;
  x.OnFileExists = [&](TZipCommon*, const std::string& f, std::string& nn, TOverwriteMode& m) {
    if (f.ends_with("a.txt")) nn = target + "/renamed/a2.txt";
    else if (f.ends_with("b.txt")) m = omSkip;
  };
  x.entries = {File("a.txt", "A"), File("b.txt", "B"), File("c.txt", "C")};
  EXPECT_EQ(x.Extract(), 2);
  EXPECT_EQ(testutil::ReadFile(target + "/a.txt"), "old");
  EXPECT_EQ(testutil::ReadFile(target + "/renamed/a2.txt"), "A");
  EXPECT_EQ(testutil::ReadFile(target + "/b.txt"), "old");
  EXPECT_EQ(testutil::ReadFile(target + "/c.txt"), "C");
  EXPECT_EQ(x.OverwriteMode, omOverwrite);  // reset for every entry
}

TEST_F(ExtractLoop, ReadOnlyTargetLosesItsReadOnlyStateWhenOverwritten) {
  testutil::WriteFile(target + "/a.txt", "old");
  chmod((target + "/a.txt").c_str(), 0444);
  x.ConfirmOverwrites = true;
  x.OnFileExists = [](TZipCommon*, const std::string&, std::string&, TOverwriteMode&) {};
  x.entries = {File("a.txt", "new")};
  EXPECT_EQ(x.Extract(), 1);
  EXPECT_EQ(testutil::ReadFile(target + "/a.txt"), "new");
}

TEST_F(ExtractLoop, OnBeginAndOnRenameFile) {
  std::vector<std::pair<std::string, int>> begun;
  x.OnBegin = [&](TZipCommon*, const std::string& f, int count, bool& extract) {
    begun.emplace_back(f, count);
    if (f.ends_with("skip.txt")) extract = false;
  };
  x.OnRenameFile = [&](TZipCommon*, const std::string& f, std::string& nn) {
    if (f.ends_with("move.txt")) nn = tmp.file("elsewhere/moved.txt");
  };
  x.entries = {File("a.txt", "1"), File("skip.txt", "2"), File("move.txt", "3")};
  EXPECT_EQ(x.Extract(), 2);
  ASSERT_EQ(begun.size(), 3u);
  EXPECT_EQ(begun[0].second, 1);
  EXPECT_EQ(begun[1].second, 2);
  EXPECT_EQ(begun[2].second, 2);
  EXPECT_EQ(begun[2].first, tmp.file("elsewhere/moved.txt"));
  EXPECT_EQ(testutil::ReadFile(tmp.file("elsewhere/moved.txt")), "3");
}

TEST_F(ExtractLoop, ThreeWrongPasswordsGiveThreeReportsWithTheRejectedPassword) {
  MemEntry e = File("secret.txt", "s");
  e.info.encrypted = true;
  e.password = "right";
  x.entries = {e};
  int asked = 0;
  x.OnGetPassword = [&](TZipCommon*, const std::string&, std::string& pw, bool&) {
    pw = "wrong" + std::to_string(++asked);
  };
  EXPECT_EQ(x.Extract(), 0);
  EXPECT_EQ(asked, 3);
  ASSERT_EQ(reports.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(reports[i].code, E_INVALIDPASSWORD);
    EXPECT_EQ(reports[i].ext, "wrong" + std::to_string(i + 1));
  }
  EXPECT_FALSE(fs::exists(target + "/secret.txt"));
}

TEST_F(ExtractLoop, PasswordsAreTriedThenTheGoodAnswerGoesToTheFront) {
  MemEntry e = File("s1.txt", "1");
  e.info.encrypted = true;
  e.password = "p2";
  MemEntry f = File("s2.txt", "2");
  f.info.encrypted = true;
  f.password = "asked";
  x.entries = {e, f};
  x.Passwords = {"p1", "p2"};
  x.OnGetPassword = [](TZipCommon*, const std::string&, std::string& pw, bool&) { pw = "asked"; };
  EXPECT_EQ(x.Extract(), 2);
  EXPECT_EQ(x.Passwords, (TStrings{"asked", "p1", "p2"}));
}

TEST_F(ExtractLoop, NoOnGetPasswordReports25270AndAbandonedPromptReportsCancelText) {
  MemEntry e = File("s.txt", "1");
  e.info.encrypted = true;
  e.password = "x";
  x.entries = {e};
  EXPECT_EQ(x.Extract(), 0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].code, E_REQUIREDEVENT);
  EXPECT_EQ(reports[0].ext, "OnGetPassword");
  reports.clear();
  x.OnGetPassword = [](TZipCommon*, const std::string&, std::string&, bool& again) { again = false; };
  EXPECT_EQ(x.Extract(), 0);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].code, E_INVALIDPASSWORD);
  EXPECT_EQ(reports[0].ext, "User canceled");
}

TEST_F(ExtractLoop, ComplementedCrcIsAcceptedAndAFailureGoesToOnEndOnly) {
  MemEntry good = File("good.txt", "abc");
  good.info.crc ^= 0xFFFFFFFFu;
  MemEntry bad = File("bad.txt", "abc");
  bad.info.crc = 12345;
  x.entries = {good, bad};
  EXPECT_EQ(x.Extract(), 1);  // the count is of entries that passed
  ASSERT_EQ(CountCode(E_CRCERROR), 1);
  reports.clear();
  std::vector<TEntryReport> ended;
  x.OnEnd = [&](TZipCommon*, const TEntryReport& r) { ended.push_back(r); };
  x.entries = {good, bad};
  x.Extract();
  EXPECT_TRUE(reports.empty());
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_EQ(ended[0].verdict, TVerdict::Passed);
  EXPECT_EQ(ended[0].outputPath, target + "/good.txt");
  EXPECT_EQ(ended[1].verdict, TVerdict::Failed);
  EXPECT_EQ(ended[1].code, E_CRCERROR);
  EXPECT_EQ(ended[1].storedName, "bad.txt");
  EXPECT_EQ(ended[1].outputPath, "");  // nothing of it stays
}

TEST_F(ExtractLoop, TestModeDecodesAndChecksButStoresNothing) {
  MemEntry bad = File("bad.txt", "abc");
  bad.info.crc = 1;
  x.entries = {File("a.txt", "1"), bad};
  EXPECT_EQ(x.ExtractTest(), 1);
  EXPECT_EQ(CountCode(E_CRCERROR), 1);
  EXPECT_TRUE(fs::is_empty(target));
  EXPECT_EQ(x.OutputMode, omToFile);
}

TEST_F(ExtractLoop, ShortWriteToAMemoryBlockReportsAndLowersTheCount) {
  uint8_t block[10];
  x.OutputMode = omToMemory;
  x.OutputMemory = block;
  x.OutputMemorySize = sizeof block;
  x.entries = {File("a.txt", "0123456789abc")};
  EXPECT_EQ(x.Extract(), 0);
  EXPECT_EQ(CountCode(E_WRITEERROR), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 10), "0123456789");
}

TEST_F(ExtractLoop, FolderEntriesAreCreatedOnlyWhenAsked) {
  MemEntry d = File("emptydir/", "");
  d.info.isDir = true;
  x.entries = {d};
  EXPECT_EQ(x.Extract(), 0);
  EXPECT_FALSE(fs::exists(target + "/emptydir"));
  x.CreateStoredDirs = true;
  EXPECT_EQ(x.Extract(), 0);
  EXPECT_TRUE(fs::is_directory(target + "/emptydir"));
}

TEST_F(ExtractLoop, EmptyArchiveFileReports25192WithoutOnActivate) {
  TMemExtractor y;
  bool activated = false;
  std::vector<int> codes;
  y.OnActivate = [&](TZipCommon*) { activated = true; };
  y.OnError = [&](TZipCommon*, const std::string&, const std::string&, const std::string&, int c) {
    codes.push_back(c);
  };
  EXPECT_EQ(y.Extract(), 0);
  EXPECT_FALSE(activated);
  EXPECT_EQ(codes, std::vector<int>{E_FILENOTFOUND});
}

TEST_F(ExtractLoop, CancelInProgressEndsTheWalkAndRaisesNothing) {
  x.entries = {File("a.txt", testutil::RandomBytes(5000, 3)), File("b.txt", "b")};
  x.OnProgress = [&](TZipCommon* s, uint8_t, uint8_t) { s->SetCancel(true); };
  bool deactivated = false;
  x.OnDeactivate = [&](TZipCommon*) { deactivated = true; };
  x.Extract();
  EXPECT_TRUE(deactivated);
  EXPECT_FALSE(fs::exists(target + "/b.txt"));
  EXPECT_GE(CountCode(E_USERCANCELED), 1);
}

TEST_F(ExtractLoop, ProgressStaysWithinBoundsAndSkippedEntriesCount) {
  std::vector<int> byArchive;
  x.OnProgress = [&](TZipCommon*, uint8_t, uint8_t a) { byArchive.push_back(a); };
  x.FileSpec = {"a.txt"};
  x.entries = {File("a.txt", testutil::RandomBytes(3000, 4)), File("b.txt", "b")};
  EXPECT_EQ(x.Extract(), 1);
  ASSERT_FALSE(byArchive.empty());
  for (int p : byArchive) EXPECT_LE(p, 100);
}

TEST(VolumeNames, ExtensionsFromNumberAndLetter) {
  TMemExtractor x;
  x.Detection().VolumeLetter = 'a';
  EXPECT_EQ(x.VolumeFileName("/d/x.arj", 1), "/d/x.a01");
  x.Detection().VolumeLetter = 'C';
  // Only the extension is replaced: a set named backup.2024.rar is not backup.r00.
  EXPECT_EQ(x.VolumeFileName("/d/x.tar.cab", 0), "/d/x.tar.C00");
  EXPECT_EQ(x.VolumeFileName("/d.v2/x", 1), "/d.v2/x.C01");
  EXPECT_EQ(x.VolumeFileName("/d/x.arj", 123), "/d/x.123");
  EXPECT_EQ(x.VolumeFileName("/d/x.arj", 42), "/d/x.C42");
  EXPECT_EQ(x.VolumeFileName("", 1), "");
  EXPECT_EQ(x.VolumeFileName("/d/x.arj", -1), "");
}

TEST(VolumeNames, RarLettersAdvanceEveryHundredVolumes) {
  TMemExtractor x;
  x.Detection().ArcType = atRar;
  x.Detection().VolumeLetter = 'q';
  EXPECT_EQ(x.VolumeFileName("/d/x.rar", 0), "/d/x.r00");
  EXPECT_EQ(x.VolumeFileName("/d/x.rar", 1), "/d/x.r01");
  EXPECT_EQ(x.VolumeFileName("/d/x.rar", 100), "/d/x.s00");
  EXPECT_EQ(x.VolumeLetter(), 's');
}

}  // namespace

// Nothing lost: a failing entry leaves its name as it was (an older file
// stays whole, no partial file appears); the archive being read is never an
// output; a fifo at an output name is refused without waiting on it.
TEST_F(ExtractLoop, FailedEntriesLoseNothingAndOutputsNeverBlockOrHitTheArchive) {
  testutil::WriteFile(target + "/old.txt", "precious");
  MemEntry badCrc = File("old.txt", "replacement");
  badCrc.info.crc ^= 1;
  MemEntry badNew = File("new.txt", "fresh");
  badNew.info.crc ^= 1;
  MemEntry self = File("fake.arc", "an entry named like its archive");
  ASSERT_EQ(mkfifo((target + "/pipe").c_str(), 0600), 0);
  x.SetExtractDir(tmp.path());  // beside the archive
  for (auto& m : {&badCrc, &badNew}) m->info.storedName = "out/" + m->info.storedName;
  MemEntry pipe = File("out/pipe", "data");
  MemEntry good = File("out/good.txt", "good");
  x.entries = {badCrc, badNew, self, pipe, good};
  x.Extract();
  EXPECT_EQ(x.Stats().passed, 1);
  EXPECT_EQ(testutil::ReadFile(target + "/old.txt"), "precious");
  EXPECT_FALSE(fs::exists(target + "/new.txt"));
  EXPECT_EQ(testutil::ReadFile(archive), "not really an archive");
  EXPECT_TRUE(fs::is_fifo(target + "/pipe"));
  EXPECT_EQ(testutil::ReadFile(target + "/good.txt"), "good");
  EXPECT_EQ(CountCode(E_SAMEFILE), 1);
  EXPECT_EQ(x.Stats().failed, 4);
  for (auto& e : fs::directory_iterator(target)) EXPECT_EQ(e.path().filename().string().rfind(".zefa-", 0), std::string::npos);

  // Kept on request: the decoded bytes of a checksum failure.
  x.KeepFailedFiles = true;
  x.entries = {badNew};
  x.Extract();
  EXPECT_EQ(testutil::ReadFile(target + "/new.txt"), "fresh");
}

// The guard against decompression bombs: an entry past both limits stops
// there and leaves nothing; a window may let it through; 0 lifts the guard.
TEST_F(ExtractLoop, RatioGuardStopsABombUnlessAskedOrLifted) {
  auto bomb = [] {
    MemEntry m = File("bomb.bin", std::string(50000, '\0'));
    m.info.packedSize = 100;
    return m;
  };
  x.RatioLimitBytes = 10000;
  x.RatioLimitFactor = 10;
  struct Case {
    bool ask;
    plat::MsgResult answer;
    int64_t limit;
    bool extracted;
  } cases[] = {{false, plat::MsgResult::Yes, 10000, false},
               {true, plat::MsgResult::No, 10000, false},
               {true, plat::MsgResult::Yes, 10000, true},
               {false, plat::MsgResult::Yes, 0, true}};
  for (const Case& c : cases) {
    fs::remove(target + "/bomb.bin");
    fs::remove(target + "/plain.bin");
    reports.clear();
    int asked = 0;
    plat::SetMessageBoxHook([&](plat::MsgKind, const std::string&, const std::string&) {
      ++asked;
      return c.answer;
    });
    x.AskRatioLimit = c.ask;
    x.RatioLimitBytes = c.limit;
    x.entries = {bomb(), File("plain.bin", testutil::RandomBytes(30000, 3))};
    EXPECT_EQ(x.Extract(), c.extracted ? 2 : 1);
    EXPECT_EQ(fs::exists(target + "/bomb.bin"), c.extracted);
    EXPECT_EQ(CountCode(E_SKIPPEDFILE), c.extracted ? 0 : 1);
    EXPECT_EQ(asked, c.ask ? 1 : 0);
    EXPECT_TRUE(fs::exists(target + "/plain.bin"));
  }
  plat::SetMessageBoxHook(nullptr);
}
