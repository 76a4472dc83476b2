// "Extract ", the destination dialog and the help window.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit3.h"
#include "support/testutil.h"
#include "fakes.h"

using namespace shell;
using shelltest::FakeEngine;
using shelltest::FakeView;

namespace {

class FakeDestination : public IDestinationView {
 public:
  std::string folder, highlighted, shown;
  int closed = 0;
  std::vector<std::string> messages;
  std::string ListFolder() override { return folder; }
  void SetListFolder(const std::string& f) override { folder = highlighted = f; }
  std::string SelectedFolder() override { return highlighted; }
  void ShowDestination(const std::string& path) override { shown = path; }
  void CloseDialog() override { ++closed; }
  void ShowMessage(const std::string& t) override { messages.push_back(t); }
};

class ExtractTest : public shelltest::ShellFixture<FakeEngine> {
 protected:
  void SetUp() override {
    c.tworzenie();
    dlg.FormCreate(dir.path());
    // What the user does in the dialog is set per test; by default OK in dest.
    v.onDestination = [&] {
      dlg.BitBtn1Click();
    };
  }

  FakeDestination dview;
  TForm3Controller dlg{dview, c.DestinationConfirmed};
};

TEST_F(ExtractTest, NoSelection) {
  c.SpeedButton4Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"No files selected!"});
  EXPECT_EQ(v.destinationShown, 0);
}

TEST_F(ExtractTest, ExtractorChosenByExtensionInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"DATA.LHA", "UnLha1"}, {"BACKUP.TAR.GZ", "UnGZip1"}, {"OLD.ZIP", "UnZip1"}, {"a.cab", "UnCab1"},
      {"a.bh", "UnBh1"},      {"a.tar", "UnTar1"},          {"a.Jar", "UnJar1"},   {"a.arj", "UnARJ1"},
      {"a.gzip", "UnGZip1"},  {"a.ace", "UnACE1"},
  };
  for (const auto& [name, extractor] : cases) {
    v.selected = dir.file(name);
    c.SpeedButton4Click();
    ASSERT_FALSE(e.extracted.empty()) << name;
    EXPECT_EQ(e.extracted.back().Name, extractor) << name;
    EXPECT_EQ(e.extracted.back().ArchiveFile, dir.file(name));
    EXPECT_EQ(e.extracted.back().FileSpec, std::vector<std::string>{"*.*"});
    EXPECT_EQ(e.extracted.back().ExtractDir, dir.path());
    EXPECT_EQ(e.extracted.back().CpuType, zid::cptAuto);
    EXPECT_EQ(e.extracted.back().OverwriteMode, zid::omOverwrite);
    EXPECT_FALSE(e.extracted.back().ConfirmOverwrites);
  }
  EXPECT_EQ(e.extracted.size(), 10u);
}

TEST_F(ExtractTest, OtherExtensionsDoNothingSilently) {
  for (const char* name : {"archive.zoo", "a.lzh", "a.tgz", "notes.txt", "noext"}) {
    v.selected = dir.file(name);
    c.SpeedButton4Click();
  }
  EXPECT_EQ(v.destinationShown, 0);
  EXPECT_TRUE(v.messages.empty());
  EXPECT_TRUE(e.extracted.empty());
}

TEST_F(ExtractTest, CancelExtractsNothingAndRefreshesNothing) {
  v.onDestination = [&] { dlg.BitBtn2Click(); };
  v.selected = dir.file("a.zip");
  c.SpeedButton4Click();
  EXPECT_EQ(v.destinationShown, 1);
  EXPECT_EQ(dview.closed, 1);
  EXPECT_FALSE(c.DestinationConfirmed);
  EXPECT_TRUE(e.extracted.empty());
  EXPECT_EQ(v.fileListUpdates + v.fileListRepaints + v.treeRepaints, 0);
}

TEST_F(ExtractTest, ConfirmedIsClearedBeforeEveryShowing) {
  v.selected = dir.file("a.zip");
  c.SpeedButton4Click();
  EXPECT_EQ(e.extracted.size(), 1u);
  v.onDestination = [] {};  // closed by the window's close box
  c.SpeedButton4Click();
  EXPECT_EQ(e.extracted.size(), 1u);
}

TEST_F(ExtractTest, ChosenFolderBecomesExtractDir) {
  ASSERT_TRUE(plat::CreateDir(dir.file("out")));
  v.onDestination = [&] {
    dview.SetListFolder(dir.file("out"));  // opened by a double click
    dlg.BitBtn1Click();
  };
  v.selected = dir.file("a.zip");
  c.SpeedButton4Click();
  ASSERT_EQ(e.extracted.size(), 1u);
  EXPECT_EQ(e.extracted[0].ExtractDir, dir.file("out"));
  EXPECT_EQ(v.treeRepaints, 1);
  EXPECT_EQ(v.fileListRepaints, 1);
  EXPECT_EQ(v.fileListUpdates, 1);
}

TEST_F(ExtractTest, OutcomeOnTheStatusLine) {
  v.selected = dir.file("a.zip");
  e.extractResult = {12, 0};
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Extracted 12 files");
  e.extractResult = {11, 1};
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Extracted 11 of 12 files, 1 failed");
  e.extractResult = {1, 0};
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Extracted 1 file");
  e.extractResult = {2, 4, 3};
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Extracted 2 of 6 files, 3 encrypted entries skipped, 1 failed");
  e.extractResult = {1, 0, 0, true};
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Extraction cancelled after 1 file");
  e.extractResult = {0, 0};
  e.during = [&] { e.Fail("Unknown archive type"); };
  c.SpeedButton4Click();
  EXPECT_EQ(v.status, "Could not extract a.zip: Unknown archive type");
}

// The engine's password question reaches the screen; the answer goes back.
TEST_F(ExtractTest, PasswordAskedThroughTheView) {
  v.selected = dir.file("a.zip");
  v.passwords = {{PasswordAnswer::Ok, "secret"}};
  PasswordAnswer answer = PasswordAnswer::Cancel;
  std::string given;
  e.during = [&] { answer = e.Ask("docs/a.txt", given); };
  c.SpeedButton4Click();
  EXPECT_EQ(v.passwordAsked, std::vector<std::string>{"docs/a.txt"});
  EXPECT_EQ(answer, PasswordAnswer::Ok);
  EXPECT_EQ(given, "secret");
}

TEST_F(ExtractTest, WorksDuringABuildWithoutTouchingIt) {
  v.saveAnswers = {dir.file("set")};
  c.SpeedButton1Click();
  v.selected = dir.file("a.zip");
  c.SpeedButton2Click();
  c.SpeedButton4Click();
  EXPECT_EQ(e.extracted.size(), 1u);
  EXPECT_EQ(c.BuildMode, 2);
  EXPECT_EQ(c.BuildCount, 2);
}

TEST_F(ExtractTest, ExtractorNotYetAvailableDoesNothing) {
  e.available = false;
  v.selected = dir.file("a.zip");
  c.SpeedButton4Click();
  EXPECT_EQ(v.destinationShown, 0);
  EXPECT_TRUE(v.messages.empty());
}

// The highlighted folder receives the files, opened or not, and the dialog
// shows its path.
TEST_F(ExtractTest, HighlightedFolderIsTheDestination) {
  ASSERT_TRUE(plat::CreateDir(dir.file("fl")));
  v.onDestination = [&] {
    dview.highlighted = dir.file("fl");
    dlg.SelectionChanged();
    EXPECT_EQ(dview.shown, dir.file("fl"));
    dlg.BitBtn1Click();
  };
  v.selected = dir.file("a.zip");
  c.SpeedButton4Click();
  ASSERT_EQ(e.extracted.size(), 1u);
  EXPECT_EQ(e.extracted[0].ExtractDir, dir.file("fl"));
}

TEST_F(ExtractTest, DialogStartsInMainFolderAndRefusesAMissingFolder) {
  EXPECT_EQ(dview.folder, dir.path());
  EXPECT_EQ(dview.shown, dir.path());
  EXPECT_EQ(plat::GetCurrentDir(), dir.path());
  dview.folder = dview.highlighted = dir.file("gone");
  dlg.BitBtn1Click();
  EXPECT_FALSE(c.DestinationConfirmed);
  EXPECT_EQ(dview.closed, 0);  // stays open
  EXPECT_EQ(dview.messages.size(), 1u);
}

// ---- help window ----

class FakeHelp : public IHelpView {
 public:
  std::vector<std::string> pane{"design-time"};
  int hidden = 0;
  void PaneClear() override { pane.clear(); }
  void PaneAdd(const std::string& l) override { pane.push_back(l); }
  void HideWindow() override { ++hidden; }
};

TEST(HelpWindow, ElevenLinesReplaceTheDesignText) {
  FakeHelp h;
  TForm2Controller f(h);
  f.Ret();
  ASSERT_EQ(h.pane.size(), 11u);
  EXPECT_EQ(h.pane[0].substr(0, 37), "ZEFA ARCHIVER v.1.0  is a programme f");
  EXPECT_EQ(h.pane[4], "  1.Click the \"New archive\" button and then give the name of the archive.");
  EXPECT_EQ(h.pane[6],
            "  3.After running out of the files list click the button \"Create archive\"  - new archive will be "
            "created.");
  EXPECT_EQ(h.pane[8], "  1.Underlight the archive file in the file panel.");
  EXPECT_EQ(h.pane[10].back(), '.');
  f.SpeedButton1Click();
  EXPECT_EQ(h.hidden, 1);
}

}  // namespace

namespace {

// The preview's menu of code pages: the pane shows the guess, a choice reads
// the names again, Extract takes the same page, and the next archive starts
// from its own guess.
TEST_F(ExtractTest, TheCodePageChosenInThePreviewGoesToExtract) {
  e.guessedPage = "CP866";
  v.selected = dir.file("ru.zip");
  c.wyswietl();
  EXPECT_EQ(v.namePage, "CP866");
  EXPECT_FALSE(v.namePageChosen);
  c.NamePageChosen("CP1251");
  ASSERT_EQ(e.listed.size(), 2u);
  EXPECT_EQ(e.listed.back().NameCharset, "CP1251");
  EXPECT_EQ(v.namePage, "CP1251");
  EXPECT_TRUE(v.namePageChosen);
  EXPECT_EQ(v.pane.front(), dir.file("ru.zip"));
  c.SpeedButton4Click();
  ASSERT_EQ(e.extracted.size(), 1u);
  EXPECT_EQ(e.extracted.back().NameCharset, "CP1251");

  v.selected = dir.file("other.zip");
  c.wyswietl();
  EXPECT_EQ(e.listed.back().NameCharset, "");
  EXPECT_EQ(v.namePage, "CP866");
  c.SpeedButton4Click();
  EXPECT_EQ(e.extracted.back().NameCharset, "");
}

}  // namespace
