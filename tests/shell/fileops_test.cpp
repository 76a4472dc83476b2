// The context menu: open, delete, rename, copy, properties.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/paths.h"
#include "shell/FileOps.h"
#include "shell/Unit1.h"
#include "support/testutil.h"
#include "fakes.h"

using namespace shell;
using shelltest::FakeEngine;
using shelltest::FakeView;

namespace {

class MenuTest : public shelltest::ShellFixture<FakeEngine> {
 protected:
  void SetUp() override { c.tworzenie(); }
};

TEST_F(MenuTest, EveryItemNeedsASelection) {
  c.Otwrzzbir1Click();
  c.Przenie1Click();
  c.Zmienazwzbioru1Click();
  c.Kopijzbiory1Click();
  c.Properties1Click();
  EXPECT_EQ(v.messages, std::vector<std::string>(5, "No files selected!"));
  EXPECT_TRUE(v.questions.empty());
  EXPECT_TRUE(v.saveTitles.empty());
}

TEST_F(MenuTest, OpenFileSkipsArchives) {
  v.selected = "/d/x.Zip";
  c.Otwrzzbir1Click();
  EXPECT_TRUE(v.opened.empty());
  v.selected = "/d/x.txt";
  c.Otwrzzbir1Click();
  EXPECT_EQ(v.opened, std::vector<std::string>{"/d/x.txt"});
}

TEST_F(MenuTest, DeleteAnsweredNoKeepsTheFile) {
  testutil::WriteFile(dir.file("a.txt"), "x");
  v.selected = dir.file("a.txt");
  c.Przenie1Click();
  EXPECT_EQ(v.questions, std::vector<std::string>{"Do you really want to delete the selected file \n" +
                                                  dir.file("a.txt") + "?"});
  EXPECT_TRUE(plat::FileExists(dir.file("a.txt")));
  EXPECT_EQ(v.fileListUpdates, 0);
}

TEST_F(MenuTest, DeleteAnsweredYesMovesToTrash) {
  // Keep the trash inside the test folder.
  const char* old = getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_DATA_HOME", dir.file("share").c_str(), 1);
  testutil::WriteFile(dir.file("a.txt"), "x");
  v.selected = dir.file("a.txt");
  v.yesNo = {true};
  c.Przenie1Click();
  if (old) setenv("XDG_DATA_HOME", saved.c_str(), 1); else unsetenv("XDG_DATA_HOME");
  EXPECT_FALSE(plat::FileExists(dir.file("a.txt")));
  EXPECT_TRUE(v.messages.empty());
  EXPECT_EQ(v.fileListUpdates, 1);
}

TEST_F(MenuTest, DeleteFailureShowsErrorAndGoesOn) {
  v.selected = dir.file("missing.txt");
  v.yesNo = {true};
  c.Przenie1Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"Error !!!"});
}

TEST_F(MenuTest, RenameMovesTheFile) {
  testutil::WriteFile(dir.file("a.txt"), "content");
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("b.txt")};
  c.Zmienazwzbioru1Click();
  EXPECT_EQ(v.saveTitles.back(), "Rename  " + dir.file("a.txt"));
  EXPECT_FALSE(plat::FileExists(dir.file("a.txt")));
  EXPECT_EQ(testutil::ReadFile(dir.file("b.txt")), "content");
  EXPECT_EQ(v.fileListUpdates, 1);
}

TEST_F(MenuTest, RenameOverAnotherFileAsksFirst) {
  testutil::WriteFile(dir.file("a.txt"), "a");
  testutil::WriteFile(dir.file("b.txt"), "b");
  v.selected = dir.file("a.txt");
  v.saveAnswers = {dir.file("b.txt")};
  c.Zmienazwzbioru1Click();  // answered "No"
  EXPECT_EQ(testutil::ReadFile(dir.file("b.txt")), "b");
  EXPECT_TRUE(plat::FileExists(dir.file("a.txt")));
}

TEST_F(MenuTest, RenameFailureShowsMessageAndWindowGoesOn) {
  v.selected = dir.file("missing.txt");
  v.saveAnswers = {dir.file("b.txt")};
  c.Zmienazwzbioru1Click();
  EXPECT_EQ(v.messages.size(), 1u);
  EXPECT_EQ(v.fileListUpdates, 1);
}

TEST_F(MenuTest, CopyOfferesTheSourceAndCopiesIt) {
  const std::string data = testutil::RandomBytes(15360, 7);
  testutil::WriteFile(dir.file("a.bin"), data);
  v.selected = dir.file("a.bin");
  v.saveAnswers = {dir.file("b.bin")};
  c.Kopijzbiory1Click();
  EXPECT_EQ(v.saveTitles.back(), "Copy " + dir.file("a.bin"));
  EXPECT_EQ(v.saveFileName, dir.file("a.bin"));
  EXPECT_EQ(testutil::ReadFile(dir.file("b.bin")), data);
  EXPECT_EQ(v.fileListUpdates, 1);
}

TEST_F(MenuTest, CopyOntoItsOwnSourceIsRefused) {
  testutil::WriteFile(dir.file("a.bin"), "keep me");
  v.selected = dir.file("a.bin");
  v.saveAnswers = {dir.file("a.bin")};
  c.Kopijzbiory1Click();
  EXPECT_EQ(v.messages, std::vector<std::string>{"A file cannot be copied onto itself"});
  EXPECT_EQ(testutil::ReadFile(dir.file("a.bin")), "keep me");
  v.saveAnswers = {dir.path() + "/../" + plat::ExtractFileName(dir.path()) + "/a.bin"};
  c.Kopijzbiory1Click();
  EXPECT_EQ(testutil::ReadFile(dir.file("a.bin")), "keep me");
}

TEST_F(MenuTest, CopyFailureShowsMessage) {
  v.selected = dir.file("missing");
  v.saveAnswers = {dir.file("b")};
  c.Kopijzbiory1Click();
  EXPECT_EQ(v.messages.size(), 1u);
  EXPECT_FALSE(plat::FileExists(dir.file("b")));
}

TEST_F(MenuTest, PropertiesOfTheSelection) {
  v.selected = "/d/x.txt";
  c.Properties1Click();
  EXPECT_EQ(v.properties, std::vector<std::string>{"/d/x.txt"});
}

// ---- the block copy ----

TEST(CopyInBlocks, BlockSizes) {
  testutil::TempDir dir;
  struct Case {
    size_t size;
    std::vector<int64_t> blocks;
  } cases[] = {{0, {}}, {10240, {10240}}, {15360, {10240, 5120}}, {30721, {10240, 10240, 10240, 1}}};
  for (const auto& cs : cases) {
    const std::string data = testutil::RandomBytes(cs.size, 3);
    testutil::WriteFile(dir.file("src"), data);
    std::vector<int64_t> seen;
    ASSERT_EQ(CopyFileInBlocks(dir.file("src"), dir.file("dst"), [&](int64_t n) { seen.push_back(n); }), 0);
    EXPECT_EQ(seen, cs.blocks) << cs.size;
    EXPECT_EQ(testutil::ReadFile(dir.file("dst")), data);
  }
}

TEST(CopyInBlocks, ReadOnlySourceAndTruncatedTarget) {
  testutil::TempDir dir;
  testutil::WriteFile(dir.file("src"), "short");
  testutil::WriteFile(dir.file("dst"), "a much longer old content");
  ASSERT_TRUE(plat::FileSetAttr(dir.file("src"), plat::faReadOnly));
  EXPECT_EQ(CopyFileInBlocks(dir.file("src"), dir.file("dst")), 0);
  EXPECT_EQ(testutil::ReadFile(dir.file("dst")), "short");
}

}  // namespace
