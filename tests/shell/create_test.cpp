// "Create archive": single files, builds, the overwrite question and the writers' settings.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "shell/Unit1.h"
#include "support/testutil.h"
#include "fakes.h"

using namespace shell;
using shelltest::FakeEngine;
using shelltest::FakeView;

namespace {

class CreateTest : public shelltest::ShellFixture<FakeEngine> {
 protected:
  void SetUp() override {
    c.tworzenie();
    testutil::WriteFile(dir.file("a.txt"), "alpha");
    testutil::WriteFile(dir.file("b.txt"), "beta");
  }
};

TEST_F(CreateTest, NothingSelectedWhileIdle) {
  c.SpeedButton3Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"No files selected!"});
  EXPECT_TRUE(e.compressed.empty());
}

TEST_F(CreateTest, SingleFileWithStandardSet) {
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("out.txt")};
  c.SpeedButton3Click();
  EXPECT_EQ(v.saveTitles.back(), "Choose an archive name:");
  ASSERT_EQ(e.compressed.size(), 1u);
  const TWriterProps& w = e.compressed[0];
  EXPECT_EQ(w.Name, "Zip1");
  EXPECT_EQ(w.ArchiveFile, dir.file("out.zip"));
  EXPECT_EQ(w.FileSpec, std::vector<std::string>{dir.file("a.txt")});
  EXPECT_TRUE(w.ExcludeSpec.empty());
  EXPECT_EQ(w.CompressMethod, zid::cmDeflate);
  EXPECT_EQ(w.DateAttribute, zid::daFileDate);
  EXPECT_EQ(w.StoredDirNames, zid::sdRelative);
  EXPECT_EQ(w.Switch, zid::swAdd);
  EXPECT_FALSE(w.RecurseDirs);
  EXPECT_EQ(w.StoreFilesOfType.size(), 24u);
  EXPECT_EQ(v.fileListUpdates, 1);
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_EQ(v.status, "Created out.zip with 1 file");
}

TEST_F(CreateTest, SingleFileDialogCancelledDoesNothing) {
  v.selected = dir.file("a.txt");
  c.SpeedButton3Click();
  EXPECT_TRUE(e.compressed.empty());
  EXPECT_EQ(v.fileListUpdates, 0);
}

TEST_F(CreateTest, CabKeepsMsZipAndJarDeflatesHarder) {
  v.selected = dir.file("a.txt");
  v.format = Family("cab");
  v.saveAnswers = {dir.file("x")};
  c.SpeedButton3Click();
  v.format = Family("jar");
  v.saveAnswers = {dir.file("x")};
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 2u);
  EXPECT_EQ(e.compressed[0].Name, "MakeCab1");
  EXPECT_EQ(e.compressed[0].ArchiveFile, dir.file("x.cab"));
  EXPECT_EQ(e.compressed[0].CompressMethod, zid::cmMsZip);
  EXPECT_EQ(e.compressed[1].Name, "Jar1");
  EXPECT_EQ(e.compressed[1].ArchiveFile, dir.file("x.jar"));
  EXPECT_EQ(e.compressed[1].DeflateType, zid::dtDeflateX);
  EXPECT_EQ(e.compressed[1].FileSpec, std::vector<std::string>{dir.file("a.txt")});
}

TEST_F(CreateTest, LhaKeepsItsMethodAndRecursiveScan) {
  v.selected = dir.file("a.txt");
  v.format = Family("lha");
  v.saveAnswers = {dir.file("x")};
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 1u);
  EXPECT_EQ(e.compressed[0].Name, "Lha1");
  EXPECT_EQ(e.compressed[0].CompressMethod, zid::cmFrozen6);
  EXPECT_TRUE(e.compressed[0].RecurseDirs);
  EXPECT_EQ(e.compressed[0].ArchiveFile, dir.file("x.lha"));
}

TEST_F(CreateTest, OverwriteAnsweredNoKeepsOldArchive) {
  testutil::WriteFile(dir.file("old.zip"), "old archive");
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("old.zip")};
  v.yesNo = {false};
  c.SpeedButton3Click();
  EXPECT_EQ(v.questions, std::vector<std::string>{"File : " + dir.file("old.zip") +
                                                  " already exists. Do you want to overwrite this file?"});
  EXPECT_TRUE(e.compressed.empty());
  EXPECT_EQ(testutil::ReadFile(dir.file("old.zip")), "old archive");
}

TEST_F(CreateTest, OverwriteAnsweredYesDeletesBeforeWriting) {
  testutil::WriteFile(dir.file("old.zip"), "old archive");
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("old.zip")};
  v.yesNo = {true};
  bool existedDuring = true;
  e.during = [&] { existedDuring = plat::FileExists(dir.file("old.zip")); };
  e.writeArchive = false;
  e.compressResult = 0;
  c.SpeedButton3Click();
  EXPECT_FALSE(existedDuring);
  // A failing writer after "Yes" leaves no archive of that name, and says so.
  EXPECT_FALSE(plat::FileExists(dir.file("old.zip")));
  EXPECT_EQ(v.status, "Could not create old.zip");
}

TEST_F(CreateTest, ArchiveNamedLikeItsOwnSourceIsRefused) {
  testutil::WriteFile(dir.file("data.zip"), "precious");
  v.selected = dir.file("data.zip");
  v.saveAnswers = {dir.file("data")};
  v.yesNo = {true};
  c.SpeedButton3Click();
  EXPECT_EQ(v.messages.size(), 1u);
  EXPECT_TRUE(e.compressed.empty());
  EXPECT_EQ(testutil::ReadFile(dir.file("data.zip")), "precious");
}

TEST_F(CreateTest, BuildRunsTheWriterOncePerPathWithAllPathsSoFar) {
  OpenBuild("set.txt", {dir.file("a.txt"), dir.file("b.txt"), dir.file("a.txt")});
  v.selected = "";  // the selection does not matter for a build
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(e.compressed[i].ArchiveFile, dir.file("set.zip"));
    EXPECT_EQ(e.compressed[i].FileSpec.size(), i + 1);
  }
  EXPECT_EQ(e.compressed[2].FileSpec,
            (std::vector<std::string>{dir.file("a.txt"), dir.file("b.txt"), dir.file("a.txt")}));
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_TRUE(c.BuildName.empty());
  EXPECT_TRUE(c.BuildFiles[1].empty());
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.fileListUpdates, 1);
  EXPECT_EQ(v.status, "Created set.zip with 3 files");
}

TEST_F(CreateTest, FormatChangedAfterNewArchiveDecidesTheExtension) {
  OpenBuild("set", {dir.file("a.txt")});
  v.format = Family("cab");
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 1u);
  EXPECT_EQ(e.compressed[0].ArchiveFile, dir.file("set.cab"));
  EXPECT_EQ(e.compressed[0].Name, "MakeCab1");
}

TEST_F(CreateTest, EmptyBuildIsRefusedAndStaysOpen) {
  OpenBuild("set", {});
  c.SpeedButton3Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"No files selected.You need to select files for this operation!"});
  EXPECT_EQ(c.BuildMode, 2);
  EXPECT_TRUE(e.compressed.empty());
}

TEST_F(CreateTest, BuildOverExistingArchive) {
  testutil::WriteFile(dir.file("set.zip"), "old");
  OpenBuild("set", {dir.file("a.txt")});
  v.yesNo = {false};
  c.SpeedButton3Click();
  EXPECT_EQ(c.BuildMode, 2);  // "No" leaves the build open
  EXPECT_EQ(c.BuildCount, 2);
  EXPECT_TRUE(e.compressed.empty());
  v.yesNo = {true};
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 1u);
  EXPECT_EQ(testutil::ReadFile(dir.file("set.zip")), "1");  // rewritten from the one path
  EXPECT_EQ(c.BuildMode, 1);
}

// A create that cannot be done says why and leaves the window in its normal
// state, where a click previews again.
TEST_F(CreateTest, WriterMissingOrFailingEndsTheBuildSayingWhy) {
  e.available = false;
  v.format = Family("lha");
  v.selected = dir.file("a.txt");
  c.SpeedButton3Click();
  EXPECT_TRUE(v.saveTitles.empty());
  EXPECT_EQ(v.status, "LHA archives cannot be written yet");
  OpenBuild("set", {dir.file("a.txt")});
  c.SpeedButton3Click();
  EXPECT_TRUE(e.compressed.empty());
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "LHA archives cannot be written yet");
  v.selected = dir.file("x.zip");
  c.wyswietl();
  EXPECT_EQ(e.listed.size(), 1u);

  e.available = true;
  e.compressResult = 0;
  e.writeArchive = false;
  e.during = [&] { e.Fail("Cabinet.dll not found"); };
  OpenBuild("set", {dir.file("a.txt")});
  c.SpeedButton3Click();
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_EQ(v.status, "Could not create set.lha: Cabinet.dll not found");
}

// Folders go in with their subfolders, after the files, added to the archive
// the file runs wrote; the bar covers all runs in the order they come.
TEST_F(CreateTest, BuildWithAFolderAndProgressOverAllRuns) {
  ASSERT_TRUE(plat::CreateDir(dir.file("docs")));
  testutil::WriteFile(dir.file("docs/c.txt"), std::string(100, 'c'));
  OpenBuild("set", {dir.file("docs"), dir.file("a.txt"), dir.file("b.txt")});
  e.during = [&] {
    e.Progress(0, 0);
    e.Progress(100, 100);
  };
  c.SpeedButton3Click();
  ASSERT_EQ(e.compressed.size(), 3u);
  EXPECT_EQ(e.compressed[1].FileSpec, (std::vector<std::string>{dir.file("a.txt"), dir.file("b.txt")}));
  EXPECT_FALSE(e.compressed[1].RecurseDirs);
  const TWriterProps& folder = e.compressed[2];
  EXPECT_EQ(folder.FileSpec, std::vector<std::string>{dir.file("docs") + "/*"});
  EXPECT_TRUE(folder.RecurseDirs);
  EXPECT_EQ(folder.StoredDirNames, zid::sdRelativeStoreStart);
  EXPECT_TRUE(folder.AddToArchive);
  // Weights 5, 5 + 4 and 100 bytes of 114.
  EXPECT_EQ(v.progress, (std::vector<int>{0, 4, 4, 12, 12, 100}));
  EXPECT_EQ(v.busySpells, 1);
  EXPECT_FALSE(v.busy);
  EXPECT_EQ(v.status, "Created set.zip with 3 files");
}

TEST_F(CreateTest, CancelStopsTheBuildAndLeavesNoArchive) {
  OpenBuild("set", {dir.file("a.txt"), dir.file("b.txt")});
  e.during = [&] { c.CancelClick(); };
  c.SpeedButton3Click();
  EXPECT_EQ(e.compressed.size(), 1u);
  EXPECT_EQ(e.cancels, 1);
  EXPECT_FALSE(plat::FileExists(dir.file("set.zip")));
  EXPECT_EQ(v.status, "Cancelled: set.zip was not created");
  EXPECT_EQ(c.BuildMode, 1);
}

TEST_F(CreateTest, HandlersWaitWhileAnOperationRuns) {
  // The message pump runs inside the writer: clicks then must not start a
  // second operation or change the build being written.
  OpenBuild("set", {dir.file("a.txt"), dir.file("b.txt")});
  int inner = 0;
  e.during = [&] {
    ++inner;
    EXPECT_TRUE(c.Busy());
    v.yesNo = {true};
    c.FormKeyDown(kKeyEscape);
    c.SpeedButton3Click();
    v.selected = dir.file("a.txt");
    c.SpeedButton2Click();
    c.SpeedButton1Click();
    c.wyswietl();
  };
  c.SpeedButton3Click();
  EXPECT_EQ(inner, 2);
  EXPECT_EQ(e.compressed.size(), 2u);
  EXPECT_TRUE(e.listed.empty());
  EXPECT_FALSE(c.Busy());
  EXPECT_EQ(v.status, "Created set.zip with 2 files");
}

TEST_F(CreateTest, QuitDuringAnOperationCancelsIt) {
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("x")};
  e.during = [&] { c.SpeedButton6Click(); };
  c.SpeedButton3Click();
  EXPECT_EQ(e.cancels, 1);
  EXPECT_EQ(v.terminated, 1);
}

}  // namespace
