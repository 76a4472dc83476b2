// The window's controller over the engine of this build: archives written by
// the commands are read back by the preview, by extraction and by peers.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "shell/Unit1.h"
#include "support/testutil.h"
#include "fakes.h"

using namespace shell;
using shelltest::FakeView;

namespace {

class RealEngineShell : public shelltest::ShellFixture<ArchiveEngine> {
 protected:
  void SetUp() override {
    plat::CreateDir(dir.file("out"));
    v.onDestination = [this] {
      plat::SetCurrentDir(dir.file("out"));
      c.DestinationConfirmed = true;
    };
  }

  std::string Put(const std::string& name, const std::string& data) {
    testutil::WriteFile(dir.file(name), data);
    return dir.file(name);
  }
  // "New archive", "Add  file    " for each path, "Create archive".
  void Build(const std::string& name, const std::vector<std::string>& paths) {
    OpenBuild(name, paths);
    c.SpeedButton3Click();
  }
  // "Create archive" without a build, over the selected file.
  void CreateSingle(const std::string& name, const std::string& path) {
    v.selected = path;
    v.saveAnswers.push_back(dir.file(name));
    c.SpeedButton3Click();
  }
  std::vector<std::string> Preview(const std::string& archive) {
    v.selected = archive;
    c.wyswietl();
    return v.pane;
  }
  void ExtractSelected(const std::string& archive) {
    v.selected = archive;
    c.SpeedButton4Click();
  }
};

TEST_F(RealEngineShell, ZipAndJarAreConnected) {
  EXPECT_TRUE(e.WriterAvailable(Family("zip")));
  EXPECT_TRUE(e.WriterAvailable(Family("jar")));
  EXPECT_TRUE(e.ExtractorAvailable(Family("zip")));
  EXPECT_TRUE(e.ExtractorAvailable(Family("jar")));
  EXPECT_TRUE(e.ListerAvailable());
}

// Every run of a build writes the archive afresh from all paths so far; an
// archive answered "Yes" over is replaced, not added to.
TEST_F(RealEngineShell, BuildHoldsEveryCollectedFileAndOverwriteStartsAfresh) {
  const std::string a = Put("a.txt", testutil::TextBytes(20000, 1));
  const std::string b = Put("b.bin", testutil::RandomBytes(70000, 2));
  Build("real", {a, b, a});
  EXPECT_EQ(v.status, "Created real.zip with 2 files");
  const std::string zip = dir.file("real.zip");
  EXPECT_EQ(Preview(zip), (std::vector<std::string>{zip, "a.txt", "b.bin"}));
  if (testutil::HaveTool("unzip")) {
    EXPECT_EQ(testutil::Run("unzip -tq " + testutil::ShellQuote(zip)), 0);
  }

  const std::string d = Put("d.txt", "only this one\n");
  v.yesNo.push_back(true);
  CreateSingle("real", d);
  EXPECT_EQ(v.status, "Created real.zip with 1 file");
  EXPECT_EQ(Preview(zip), (std::vector<std::string>{zip, "d.txt"}));
}

TEST_F(RealEngineShell, JarRoundTripIsByteExact) {
  const std::string data = testutil::RandomBytes(300000, 3) + testutil::TextBytes(300000, 4);
  const std::string p = Put("payload.dat", data);
  v.format = Family("jar");
  CreateSingle("lib", p);
  const std::string jar = dir.file("lib.jar");
  ASSERT_TRUE(plat::FileExists(jar));
  EXPECT_EQ(v.status, "Created lib.jar with 1 file");
  ExtractSelected(jar);
  EXPECT_EQ(v.status, "Extracted 1 file");
  EXPECT_EQ(testutil::ReadFile(dir.file("out/payload.dat")), data);
}

// A damaged entry shows in the count; the sound one still comes out.
TEST_F(RealEngineShell, DamagedEntryCountsAsFailed) {
  const std::string good = Put("good.txt", testutil::TextBytes(4000, 5));
  // ".zip" is among the extensions stored as they are: its bytes can be found.
  const std::string inner = testutil::RandomBytes(10000, 6);
  const std::string innerPath = Put("inner.zip", inner);
  Build("damaged", {good, innerPath});
  const std::string zip = dir.file("damaged.zip");
  std::string bytes = testutil::ReadFile(zip);
  const size_t at = bytes.find(inner.substr(0, 64));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 5000] ^= 0x55;
  testutil::WriteFile(zip, bytes);

  ExtractSelected(zip);
  EXPECT_EQ(v.status, "Extracted 1 of 2 files, 1 failed");
  EXPECT_EQ(testutil::ReadFile(dir.file("out/good.txt")), testutil::ReadFile(good));
}

TEST_F(RealEngineShell, UnreadableArchiveExtractsNothing) {
  const std::string fake = Put("fake.zip", "plain text, no archive here");
  ExtractSelected(fake);
  EXPECT_EQ(v.status.rfind("Could not extract fake.zip: ", 0), 0u) << v.status;
  EXPECT_EQ(Preview(fake), std::vector<std::string>{});
}

// Progress reaches the window, and Cancel from there stops the run: nothing
// is left under the archive's name, and the next command works again.
TEST_F(RealEngineShell, ProgressIsForwardedAndCancelStopsTheRun) {
  const std::string big = Put("big.bin", testutil::RandomBytes(3 << 20, 7));
  v.onProgress = [&](int) { c.CancelClick(); };
  CreateSingle("big", big);
  EXPECT_FALSE(v.progress.empty());
  EXPECT_EQ(v.status, "Cancelled: big.zip was not created");
  EXPECT_FALSE(plat::FileExists(dir.file("big.zip")));

  v.onProgress = nullptr;
  v.progress.clear();
  CreateSingle("big", big);
  EXPECT_EQ(v.status, "Created big.zip with 1 file");
  v.progress.clear();
  ExtractSelected(dir.file("big.zip"));
  EXPECT_EQ(v.status, "Extracted 1 file");
  EXPECT_EQ(testutil::ReadFile(dir.file("out/big.bin")), testutil::ReadFile(big));
  EXPECT_EQ(v.progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(v.progress.begin(), v.progress.end()));
}

// Encrypted entries: the password is asked once and opens the others too;
// "Skip" leaves them out and the status line says so.
TEST_F(RealEngineShell, EncryptedEntriesAskForThePassword) {
  REQUIRE_TOOL("zip");
  for (const char* name : {"p1.txt", "p2.txt", "p3.txt"}) Put(name, testutil::TextBytes(5000, name[1]));
  const std::string zip = dir.file("locked.zip");
  const std::string cd = "cd " + testutil::ShellQuote(dir.path());
  ASSERT_EQ(testutil::Run(cd + " && zip -q -P secret locked.zip p1.txt p2.txt p3.txt"), 0);

  v.passwords = {{PasswordAnswer::Ok, "wrong"}, {PasswordAnswer::Ok, "secret"}};
  ExtractSelected(zip);
  EXPECT_EQ(v.passwordAsked, (std::vector<std::string>{"p1.txt", "p1.txt*"}));
  EXPECT_EQ(v.status, "Extracted 3 files");
  EXPECT_EQ(testutil::ReadFile(dir.file("out/p3.txt")), testutil::ReadFile(dir.file("p3.txt")));

  v.passwordAsked.clear();
  ExtractSelected(zip);  // passwords are not kept from one extraction to the next
  EXPECT_EQ(v.passwordAsked, std::vector<std::string>{"p1.txt"});
  EXPECT_EQ(v.status, "Extracted 0 of 3 files, 3 encrypted entries skipped");
}

// The create password encrypts with the cipher chosen, AES-256 first; an
// empty one turns encryption off again.
TEST_F(RealEngineShell, CreatePasswordEncryptsWithTheCipherChosen) {
  REQUIRE_TOOL("7zz");
  ASSERT_EQ(TForm1Controller::CreateCiphers().front().strength, 3);
  const std::string src = Put("c.txt", testutil::TextBytes(5000, 4));
  int n = 0;
  for (const auto& cipher : TForm1Controller::CreateCiphers()) {
    c.SetCreatePassword("pw", cipher.strength);
    const std::string name = "e" + std::to_string(n++) + ".zip";
    CreateSingle(name, src);
    std::string out;
    testutil::Run("7zz l -slt -ppw " + testutil::ShellQuote(dir.file(name)), &out);
    EXPECT_NE(out.find(std::string("Method = ") + cipher.label), std::string::npos) << cipher.label << out;
    EXPECT_EQ(testutil::Run("7zz t -ppw " + testutil::ShellQuote(dir.file(name))), 0) << cipher.label;
  }
  c.SetCreatePassword("", 3);
  EXPECT_EQ(v.status, "Archives created from now on are not encrypted");
  CreateSingle("plain.zip", src);
  std::string out;
  testutil::Run("7zz l -slt " + testutil::ShellQuote(dir.file("plain.zip")), &out);
  EXPECT_NE(out.find("Encrypted = -"), std::string::npos) << out;
}

// A folder in the build list goes in with its subfolders, under its own name.
TEST_F(RealEngineShell, FolderInTheBuildKeepsItsTree) {
  plat::CreateDir(dir.file("docs"));
  plat::CreateDir(dir.file("docs/deep"));
  Put("docs/a.txt", "a");
  Put("docs/deep/b.txt", "b");
  const std::string c1 = Put("c.txt", "c");
  Build("tree", {dir.file("docs"), c1});
  const std::string zip = dir.file("tree.zip");
  EXPECT_EQ(v.status, "Created tree.zip with 3 files");
  std::vector<std::string> listed = Preview(zip);
  std::sort(listed.begin() + 1, listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{zip, "c.txt", "docs/a.txt", "docs/deep/b.txt"}));
}

// An archive from a peer: the preview lists its files (not its folders) and
// extraction recreates the stored folders below the chosen one.
TEST_F(RealEngineShell, PeerZipIsListedAndExtracted) {
  REQUIRE_TOOL("zip");
  plat::CreateDir(dir.file("sub"));
  Put("t1.txt", testutil::TextBytes(30000, 8));
  Put("sub/t2.bin", testutil::RandomBytes(30000, 9));
  const std::string zip = dir.file("peer.zip");
  ASSERT_EQ(testutil::Run("cd " + testutil::ShellQuote(dir.path()) + " && zip -qr peer.zip t1.txt sub"), 0);
  EXPECT_EQ(Preview(zip), (std::vector<std::string>{zip, "t1.txt", "sub/t2.bin"}));
  ExtractSelected(zip);
  EXPECT_EQ(v.status, "Extracted 2 files");
  EXPECT_EQ(testutil::ReadFile(dir.file("out/t1.txt")), testutil::ReadFile(dir.file("t1.txt")));
  EXPECT_EQ(testutil::ReadFile(dir.file("out/sub/t2.bin")), testutil::ReadFile(dir.file("sub/t2.bin")));
}

}  // namespace
