// The main window's controller through a scripted screen and a recording engine.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "shell/Unit1.h"
#include "support/testutil.h"
#include "fakes.h"

using namespace shell;
using shelltest::FakeEngine;
using shelltest::FakeView;

namespace {

class ControllerTest : public shelltest::ShellFixture<FakeEngine> {
 protected:
  void SetUp() override { c.tworzenie(); }
};

// ---- start-up, folders, preview ----

TEST_F(ControllerTest, StartsIdleWithEmptyPaneAndStatus) {
  v.pane = {"design-time text"};
  c.tworzenie();
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_EQ(c.BuildCount, 1);
  EXPECT_TRUE(c.BuildName.empty());
  EXPECT_EQ(v.status, "");
}

TEST_F(ControllerTest, FolderChangeShowsTreeFolderInFileList) {
  v.drive = "/mnt/usb/";
  v.treeFolder = "/mnt/usb/docs";
  c.zm2();
  EXPECT_EQ(v.treeDrive, "/mnt/usb/");
  EXPECT_EQ(v.listFolder, "/mnt/usb/docs");
  EXPECT_EQ(v.treeUpdates, 1);
  EXPECT_EQ(v.treeRepaints, 1);
  v.treeFolder = "/tmp";
  c.zmiana1();
  EXPECT_EQ(v.listFolder, "/tmp");
  // A preview goes with the folder that held the archive.
  v.selected = "/tmp/a.zip";
  c.wyswietl();
  EXPECT_FALSE(v.pane.empty());
  c.zmiana1();
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "");
}

TEST_F(ControllerTest, PreviewOfUpperCaseArchiveListsPathAndEntries) {
  v.selected = "/data/REPORT.ZIP";
  e.entries = {"a.txt", "dir\\b.txt"};
  c.wyswietl();
  ASSERT_EQ(e.listed.size(), 1u);
  EXPECT_EQ(e.listed[0].ArchiveFile, "/data/REPORT.ZIP");
  EXPECT_EQ(e.listed[0].FileSpec, std::vector<std::string>{"*.*"});
  EXPECT_TRUE(e.listed[0].RecurseDirs);
  EXPECT_EQ(v.pane, (std::vector<std::string>{"/data/REPORT.ZIP", "a.txt", "dir\\b.txt"}));
  EXPECT_EQ(v.status, "View file inside the archive");
  EXPECT_EQ(v.firstIndent, 4);
  EXPECT_EQ(v.fontSize, 10);
  EXPECT_EQ(v.color, PaneColor::Blue);
  EXPECT_EQ(v.fontName, "Arial");
}

TEST_F(ControllerTest, PreviewCoversTheTenExtensionsOnly) {
  for (const char* ext : {".zip", ".cab", ".lha", ".bh", ".tar", ".jar", ".arj", ".gz", ".gzip", ".ace", ".GZIP"}) {
    v.selected = std::string("/d/x") + ext;
    c.wyswietl();
  }
  EXPECT_EQ(e.listed.size(), 11u);
  for (const char* name : {"/d/x.zoo", "/d/x.lzh", "/d/x.tgz", "/d/x.txt", "/d/zip", "/d/.zip.d/readme", ""}) {
    v.selected = name;
    c.wyswietl();
  }
  EXPECT_EQ(e.listed.size(), 11u);
}

// The pane never shows the listing of another file than the selected one;
// a status line that is not the preview's stays.
TEST_F(ControllerTest, NonArchiveClearsThePreview) {
  v.pane = {"old"};
  v.status = "kept";
  v.selected = "/d/notes.txt";
  c.wyswietl();
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "kept");
  v.selected = "/d/a.zip";
  e.entries = {"x"};
  c.wyswietl();
  EXPECT_EQ(v.pane.size(), 2u);
  v.selected = "/d/notes.txt";
  c.wyswietl();
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "");
  EXPECT_EQ(e.listed.size(), 1u);
}

TEST_F(ControllerTest, UnreadableArchiveGivesEmptyPane) {
  v.pane = {"old"};
  v.selected = "/d/fake.zip";
  e.readable = false;
  c.wyswietl();
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "View file inside the archive");
}

TEST_F(ControllerTest, NoPreviewWhileBuilding) {
  OpenBuild("new", {"/d/a.txt"});
  const auto pane = v.pane;
  v.selected = "/d/other.zip";
  c.wyswietl();
  EXPECT_TRUE(e.listed.empty());
  EXPECT_EQ(v.pane, pane);
}

TEST_F(ControllerTest, DoubleClickOpensDocumentsButNotArchives) {
  v.selected = "/d/OLD.ZIP";
  c.otw();
  EXPECT_TRUE(v.opened.empty());
  v.selected = "/d/notes.txt";
  v.listFolder = "/d";
  c.otw();
  ASSERT_EQ(v.opened.size(), 1u);
  EXPECT_EQ(v.opened[0], "/d/notes.txt");
  EXPECT_EQ(v.openedIn[0], "/d");
  v.selected = "";
  c.otw();
  EXPECT_EQ(v.opened.size(), 1u);
}

// ---- Esc, Quit, Help, web page ----

TEST_F(ControllerTest, EscWhileIdleDoesNothing) {
  c.FormKeyDown(kKeyEscape);
  EXPECT_TRUE(v.questions.empty());
}

TEST_F(ControllerTest, EscAnsweredNoKeepsTheBuild) {
  OpenBuild("new", {"/d/a.txt"});
  const auto pane = v.pane;
  v.yesNo = {false};
  c.FormKeyDown(kKeyEscape);
  ASSERT_EQ(v.questions, std::vector<std::string>{"Cancel? Are you sure?"});
  EXPECT_EQ(c.BuildMode, 2);
  EXPECT_EQ(c.BuildName, dir.file("new.zip"));
  EXPECT_EQ(c.BuildCount, 2);
  EXPECT_EQ(c.BuildFiles[1], "/d/a.txt");
  EXPECT_EQ(v.pane, pane);
}

TEST_F(ControllerTest, EscAnsweredYesCancelsTheBuild) {
  OpenBuild("new", {"/d/a.txt", "/d/b.txt"});
  v.yesNo = {true};
  c.FormKeyDown(65);  // other keys do nothing
  EXPECT_TRUE(v.questions.empty());
  c.FormKeyDown(kKeyEscape);
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_TRUE(c.BuildName.empty());
  EXPECT_TRUE(c.BuildFiles[1].empty());
  EXPECT_TRUE(c.BuildFiles[2].empty());
  EXPECT_EQ(c.BuildCount, 3);  // the next New archive resets it
  EXPECT_TRUE(v.pane.empty());
  EXPECT_EQ(v.status, "User canceled the create archive!");
}

TEST_F(ControllerTest, QuitHelpAndWebPage) {
  OpenBuild("new", {"/d/a.txt"});
  c.SpeedButton5Click();
  c.SpeedButton5Click();
  EXPECT_EQ(v.helpShown, 2);
  c.SpeedButton8Click();
  EXPECT_EQ(v.urls, std::vector<std::string>{"https://zefa-archiver.example.org/"});
  c.SpeedButton6Click();
  EXPECT_EQ(v.terminated, 1);
  EXPECT_TRUE(v.questions.empty());
  EXPECT_EQ(e.cancels, 0);
}

TEST_F(ControllerTest, Keyboard) {
  e.entries = {"x"};
  v.selected = dir.file("a.zip");
  c.FormKeyDown(kKeyReturn);  // an archive: previewed
  EXPECT_EQ(e.listed.size(), 1u);
  v.selected = "/d/notes.txt";
  c.FormKeyDown(kKeyReturn);  // a document: opened
  EXPECT_EQ(v.opened, std::vector<std::string>{"/d/notes.txt"});
  v.selected = dir.path();
  c.FormKeyDown(kKeyReturn);  // a folder: shown
  EXPECT_EQ(v.treeFolder, dir.path());
  EXPECT_EQ(v.listFolder, dir.path());
  v.selected = "/d/notes.txt";
  c.FormKeyDown(kKeyDelete);  // asks as "Delete file" does; "No" keeps it
  EXPECT_EQ(v.questions, std::vector<std::string>{"Do you really want to delete the selected file \n/d/notes.txt?"});
  c.FormKeyDown(kKeyQ);
  EXPECT_EQ(v.terminated, 0);
  c.FormKeyDown(kKeyQ, true);
  EXPECT_EQ(v.terminated, 1);
}

TEST_F(ControllerTest, DroppedFiles) {
  testutil::WriteFile(dir.file("a.zip"), "PK");
  e.entries = {"x"};
  c.FilesDropped({dir.file("a.zip")});  // one archive while idle: previewed
  EXPECT_EQ(v.pane, (std::vector<std::string>{dir.file("a.zip"), "x"}));
  c.FilesDropped({dir.file("a.zip"), "/d/b.txt"});
  EXPECT_EQ(v.status, "Drop one archive to view it, or click \"New archive\" first to add files");
  OpenBuild("new");
  c.FilesDropped({dir.file("a.zip"), "/d/b.txt"});  // during a build: added
  EXPECT_EQ(c.BuildCount, 3);
  EXPECT_EQ(c.BuildFiles[2], "/d/b.txt");
  EXPECT_EQ(e.listed.size(), 1u);
}

// ---- New archive, Add file ----

TEST_F(ControllerTest, NewArchiveGivesTheFormatExtension) {
  OpenBuild("report.txt");
  EXPECT_EQ(c.BuildMode, 2);
  EXPECT_EQ(c.BuildName, dir.file("report.zip"));
  EXPECT_EQ(v.saveTitles.back(), "Choose an archive name");
  EXPECT_EQ(v.pane, (std::vector<std::string>{"Archive name: :", dir.file("report.zip"), "Selected files:"}));
  EXPECT_EQ(v.color, PaneColor::Black);
  EXPECT_EQ(v.status, "Create new archive");
  OpenBuild("report");
  EXPECT_EQ(c.BuildName, dir.file("report.zip"));
  v.format = Family("bh");
  OpenBuild("report.tar.gz");
  EXPECT_EQ(c.BuildName, dir.file("report.tar.bh"));
}

TEST_F(ControllerTest, NewArchiveCancelledWithoutName) {
  c.SpeedButton1Click();
  EXPECT_EQ(c.BuildMode, 1);
  EXPECT_EQ(v.status, "User canceled the create archive");
}

TEST_F(ControllerTest, SecondNewArchiveDiscardsCollectedPaths) {
  OpenBuild("one", {"/d/a.txt", "/d/b.txt"});
  OpenBuild("two");
  EXPECT_EQ(c.BuildCount, 1);
  EXPECT_EQ(c.BuildName, dir.file("two.zip"));
}

TEST_F(ControllerTest, AddFileNeedsSelectionAndOpenBuild) {
  c.SpeedButton2Click();
  v.selected = "/d/a.txt";
  c.SpeedButton2Click();
  EXPECT_EQ(v.messages, (std::vector<std::string>{
                            "No files selected!",
                            "Click the \"New archive\" button and then give the name of the archive"}));
  EXPECT_EQ(c.BuildCount, 1);
}

TEST_F(ControllerTest, AddFileTwiceKeepsBothAndListsThem) {
  OpenBuild("new", {"/d/a.txt", "/d/a.txt"});
  EXPECT_EQ(c.BuildCount, 3);
  EXPECT_EQ(c.BuildFiles[1], "/d/a.txt");
  EXPECT_EQ(c.BuildFiles[2], "/d/a.txt");
  EXPECT_EQ(v.pane.back(), "/d/a.txt");
  EXPECT_EQ(v.pane[v.pane.size() - 2], "/d/a.txt");
  EXPECT_EQ(v.status, "Adding file to archive");
}

TEST_F(ControllerTest, AddFileTakesEverySelectedEntry) {
  OpenBuild("new");
  v.selection = {"/d/a.txt", "/d/docs", "/d/b.txt"};
  c.SpeedButton2Click();
  EXPECT_EQ(c.BuildCount, 4);
  EXPECT_EQ(std::vector<std::string>(c.BuildFiles.begin() + 1, c.BuildFiles.begin() + 4), v.selection);
  EXPECT_EQ(v.pane.back(), "/d/b.txt");
}

TEST_F(ControllerTest, ThreeHundredFirstFileIsRefused) {
  OpenBuild("big");
  for (int i = 1; i <= kMaxBuildFiles; ++i) {
    v.selected = "/d/f" + std::to_string(i);
    c.SpeedButton2Click();
  }
  EXPECT_TRUE(v.messages.empty());
  EXPECT_EQ(c.BuildCount, 301);
  v.selected = "/d/extra";
  c.SpeedButton2Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"The list of files is full (300 files)"});
  EXPECT_EQ(c.BuildCount, 301);
  EXPECT_EQ(c.BuildFiles[300], "/d/f300");
}

}  // namespace
