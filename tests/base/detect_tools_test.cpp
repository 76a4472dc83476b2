// Detection of archives made by peer tools, and of the shared corpus samples.
#include <gtest/gtest.h>

#include <dirent.h>

#include <map>
#include <string>
#include <vector>

#include "engine/base/zidDetect.h"
#include "support/testutil.h"

using namespace zid;

namespace {

class PeerArchives : public ::testing::Test {
 protected:
  void SetUp() override {
    testutil::WriteFile(dir.file("a.txt"), testutil::TextBytes(3000, 1));
    testutil::WriteFile(dir.file("b.bin"), testutil::RandomBytes(2000, 2));
  }
  // Runs a command inside the temporary folder.
  void Make(const std::string& cmd) {
    std::string out;
    ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(dir.path()) + " && " + cmd, &out), 0) << cmd << "\n" << out;
  }
  TArchiveDetection Detect(const std::string& name) {
    TArchiveDetection d;
    AssignArchiveFile(d, dir.file(name));
    return d;
  }
  testutil::TempDir dir;
};

}  // namespace

TEST_F(PeerArchives, ZipWriters) {
  REQUIRE_TOOL("zip");
  Make("zip -q z.zip a.txt b.bin");
  TArchiveDetection d = Detect("z.zip");
  EXPECT_EQ(d.ArcType, atZip);
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
  EXPECT_GT(d.ArcStartOffset, 0);
  EXPECT_EQ(d.ZipOffsetAdjust, 0);
  EXPECT_EQ(d.ZipCommentPos, static_cast<int64_t>(testutil::ReadFile(dir.file("z.zip")).size()));

  // A stub in front; "zip -A" then fixes the offsets.
  testutil::WriteFile(dir.file("stub"), "MZ" + std::string(3998, '\0'));
  Make("cat stub z.zip > sfx.exe && cp sfx.exe fixed.exe && zip -q -A fixed.exe");
  d = Detect("sfx.exe");
  EXPECT_EQ(d.ArcType, atZipExe);
  EXPECT_EQ(d.ZipOffsetAdjust, 4000);
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
  d = Detect("fixed.exe");
  EXPECT_EQ(d.ArcType, atZipExe);
  EXPECT_EQ(d.ZipOffsetAdjust, 0);
  EXPECT_EQ(d.ZipStructureFlags, htLocal | htCentral | htEnding);
}

TEST_F(PeerArchives, SevenZipPythonAndJar) {
  if (testutil::HaveTool("7zz")) {
    Make("7zz a -tzip -bd -bso0 s.zip a.txt b.bin");
    EXPECT_EQ(Detect("s.zip").ArcType, atZip);
  }
  if (testutil::HaveTool("python3")) {
    Make("python3 -c \"import zipfile; z=zipfile.ZipFile('p.zip','w',zipfile.ZIP_DEFLATED); "
         "z.write('a.txt'); z.comment=b'x'*100; z.close()\"");
    TArchiveDetection d = Detect("p.zip");
    EXPECT_EQ(d.ArcType, atZip);
    EXPECT_TRUE(d.ZipStructureFlags & htCentral);
  }
  if (testutil::HaveTool("jar")) {
    Make("jar cf j.jar a.txt");
    TArchiveDetection d = Detect("j.jar");
    EXPECT_EQ(d.ArcType, atJar);
    EXPECT_EQ(d.VolumeLetter, 'j');
    EXPECT_EQ(d.VolumeNumber, 0);
  }
}

TEST_F(PeerArchives, LhaHeaderLevels) {
  REQUIRE_TOOL("jlha");
  for (int level = 0; level <= 2; ++level) {
    const std::string name = "h" + std::to_string(level) + ".lzh";
    Make("jlha a" + std::to_string(level) + "q " + name + " a.txt b.bin");
    TArchiveDetection d = Detect(name);
    EXPECT_EQ(d.ArcType, atLha) << name;
    EXPECT_EQ(d.ArcStartOffset, 0) << name;
  }
}

TEST_F(PeerArchives, ArjGzipCompressTar) {
  if (testutil::HaveTool("arj")) {
    Make("arj a -y x.arj a.txt b.bin >/dev/null");
    TArchiveDetection d = Detect("x.arj");
    EXPECT_EQ(d.ArcType, atArj);
    EXPECT_EQ(d.VolumeNumber, 1);
    EXPECT_EQ(d.VolumeLetter, 'a');
  }
  if (testutil::HaveTool("gzip")) {
    Make("gzip -c a.txt > a.txt.gz");
    EXPECT_EQ(Detect("a.txt.gz").ArcType, atGZip);
  }
  if (testutil::HaveTool("compress")) {
    Make("compress -c a.txt > a.txt.Z");
    EXPECT_EQ(Detect("a.txt.Z").ArcType, atGZip);
  }
  if (testutil::HaveTool("tar")) {
    Make("tar cf t.tar a.txt b.bin");
    TArchiveDetection d = Detect("t.tar");
    EXPECT_EQ(d.ArcType, atTar);
    EXPECT_EQ(d.ArcStartOffset, 0);
    Make("tar -c -V MYLABEL -f v.tar a.txt");
    d = Detect("v.tar");
    EXPECT_EQ(d.ArcType, atTar);
    EXPECT_EQ(d.ArcStartOffset, 512);
  }
}

TEST_F(PeerArchives, CabAndUuencode) {
  if (testutil::HaveTool("gcab")) {
    Make("gcab -c -n x.cab a.txt b.bin");
    EXPECT_EQ(Detect("x.cab").ArcType, atCab);
  }
  if (testutil::HaveTool("uuencode")) {
    Make("uuencode b.bin b.bin > b.uue");
    EXPECT_EQ(Detect("b.uue").ArcType, atUUE);
  }
}

namespace {

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n == "." || n == ".." || n.ends_with(".txt") || n.ends_with(".md")) continue;
      out.push_back(n);
    }
    closedir(d);
  }
  return out;
}

}  // namespace

TEST(CorpusDetection, SamplesByFolder) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus absent";
  // Every sample of these folders is recognised as its folder's type.
  const std::map<std::string, TArcType> uniform = {
      {"ace", atAce}, {"arj", atArj}, {"ha", atHA}, {"zoo", atZoo},
  };
  for (const auto& [folder, type] : uniform)
    for (const std::string& name : ListFiles(corpus + "/" + folder)) {
      TArchiveDetection d;
      AssignArchiveFile(d, corpus + "/" + folder + "/" + name);
      EXPECT_EQ(d.ArcType, type) << folder << "/" << name;
    }

  struct Sample {
    const char* path;
    TArcType type;
    int32_t volume;
    char letter;
  } samples[] = {
      {"arc/unarc__store.arc", atArc, 0, 0},
      {"pak/unarc__license.pak", atPak, 0, 0},
      {"rar/patool__t.rar", atRar, 0, 'q'},
      {"rar/sharpcompress__Rar2.multi.r00", atRar, 1, 'r'},
      {"rar/libarchive__sfx.exe", atRarExe, 0, 'q'},
      {"arj/sharpcompress__Arj.store.split.a01", atArj, 2, 'a'},
      {"ace/sharpcompress__Ace.store.split.c00", atAce, 1, 'c'},
      {"lha/lha255e__sfx.exe", atLhaExe, 0, 0},
      {"zip/patool__t.jar", atJar, 0, 'j'},
      {"zip/sharpcompress__Infozip.nocomp.multi.zip", atZipMV, 0, 0},
  };
  for (const Sample& s : samples) {
    TArchiveDetection d;
    AssignArchiveFile(d, corpus + "/" + s.path);
    if (d.ArchiveFile.empty()) continue;  // sample not in this corpus
    EXPECT_EQ(d.ArcType, s.type) << s.path;
    EXPECT_EQ(d.VolumeNumber, s.volume) << s.path;
    EXPECT_EQ(d.VolumeLetter, s.letter) << s.path;
  }
}

TEST(CorpusDetection, EveryFileGivesAType) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "corpus absent";
  int seen = 0;
  for (const char* folder : {"ace", "arc", "arj", "cab", "gzip", "ha", "lha", "pak", "rar", "tar", "uue", "zip", "zoo"})
    for (const std::string& name : ListFiles(corpus + "/" + folder)) {
      TArchiveDetection d;
      AssignArchiveFile(d, corpus + "/" + folder + "/" + name);
      EXPECT_LT(d.ArcType, kArcTypeCount);
      EXPECT_GE(d.ArcStartOffset, -1);
      ++seen;
    }
  EXPECT_GT(seen, 0);
}

// Archives behind other bytes, as in installers and damaged disks: the deep
// scan finds them when the rules do not; random bytes and our own programs
// give nothing.
TEST_F(PeerArchives, DeepScanFindsArchivesBehindOtherBytesAndNothingInNoise) {
  REQUIRE_TOOL("zip");
  REQUIRE_TOOL("lha");
  REQUIRE_TOOL("gcab");
  Make("zip -q -0 z.zip a.txt && lha -aq l.lzh a.txt b.bin && gcab -c c.cab a.txt b.bin");
  // the ZIP without its central directory: only the local headers tell
  const std::string zip = testutil::ReadFile(dir.file("z.zip"));
  const std::string noise = testutil::RandomBytes(1 << 20, 3);
  struct Case {
    const char* name;
    std::string bytes;
    TArcType type;
    int testExit;  // 1: the entries pass, with a warning that the directory is missing
  } cases[] = {{"z.bin", noise + zip.substr(0, zip.find("PK\x01\x02")), atZip, 1},
               {"l.bin", noise + testutil::ReadFile(dir.file("l.lzh")), atLha, 0},
               {"c.bin", noise + testutil::ReadFile(dir.file("c.cab")), atCab, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testutil::WriteFile(dir.file(c.name), c.bytes);
    const TArchiveDetection d = Detect(c.name);
    EXPECT_EQ(d.ArcType, c.type);
    EXPECT_EQ(d.ArcStartOffset, 1 << 20);
    EXPECT_EQ(testutil::Run(testutil::ShellQuote(testutil::CliPath()) + " t " + testutil::ShellQuote(dir.file(c.name))),
              c.testExit);
  }
  // the scan itself, whatever the rules say of these files
  const std::string files[] = {testutil::RandomBytes(20 << 20, 4), testutil::ReadFile(testutil::CliPath()),
                               testutil::ReadFile("/proc/self/exe")};
  for (const std::string& f : files) {
    TMemorySource src(f.data(), static_cast<int64_t>(f.size()));
    TArchiveDetection d;
    const TScanResult r = DeepScan(src, d);
    EXPECT_FALSE(IsRecognised(r.Type)) << ArcTypeEnumName(r.Type) << " at " << r.Offset;
  }
}

TEST(CorpusDeepScan, ArchivesInsideOtherFilesAreFound) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  const std::pair<const char*, TArcType> cases[] = {{"lha/larc333__sfx.com", atLha},
                                                    {"lha/lhmelt_16536__sfx_winsfx_213.exe", atLha},
                                                    {"cab/cabextract__search.cab", atCab},
                                                    {"cab/libmspack__search_basic.cab", atCab}};
  for (const auto& [file, type] : cases) {
    TArchiveDetection d;
    AssignArchiveFile(d, dir + "/" + file);
    EXPECT_EQ(d.ArcType, type) << file;
    EXPECT_GT(d.ArcStartOffset, 0) << file;
    EXPECT_EQ(testutil::Run(testutil::ShellQuote(testutil::CliPath()) + " t " + testutil::ShellQuote(dir + "/" + file)), 0) << file;
  }
}
