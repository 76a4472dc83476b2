// zefa a and zefa d: options, exit codes and what peers make of the result.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "support/testutil.h"

namespace fs = std::filesystem;
using testutil::ShellQuote;

namespace {

std::string Zefa(const std::string& args) { return ShellQuote(testutil::CliPath()) + " " + args; }

std::string Tree(const testutil::TempDir& tmp) {
  const std::string d = tmp.file("proj");
  fs::create_directories(d + "/sub");
  testutil::WriteFile(d + "/a.txt", testutil::TextBytes(20000, 1));
  testutil::WriteFile(d + "/b.log", "log");
  testutil::WriteFile(d + "/sub/c.bin", testutil::RandomBytes(5000, 2));
  testutil::WriteFile(d + "/sub/caf\xC3\xA9.txt", "accent");
  return d;
}

}  // namespace

TEST(CliAdd, FolderKeepsItsNameAndEveryOptionRoundTrips) {
  testutil::TempDir tmp;
  const std::string d = Tree(tmp);
  struct Case {
    const char* opts;
    const char* password;
  } cases[] = {{"", ""}, {"--store", ""}, {"--level fast", ""}, {"--level max", ""}, {"-p pw", "pw"},
               {"-p pw --encrypt-headers", "pw"}, {"-f jar", ""}};
  int n = 0;
  for (const auto& c : cases) {
    const std::string arc = tmp.file("t" + std::to_string(n++) + ".zip");
    std::string out;
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(tmp.path()) + " && " + Zefa("a " + ShellQuote(arc) + " proj -r " + c.opts),
                            &out), 0) << c.opts << out;
    const std::string x = tmp.file("x" + std::to_string(n));
    std::string pw = *c.password ? std::string(" -p ") + c.password : "";
    ASSERT_EQ(testutil::Run(Zefa("x " + ShellQuote(arc) + " -o " + ShellQuote(x) + pw), &out), 0) << c.opts << out;
    EXPECT_EQ(testutil::ReadFile(x + "/proj/sub/c.bin"), testutil::ReadFile(d + "/sub/c.bin")) << c.opts;
    EXPECT_EQ(testutil::ReadFile(x + "/proj/sub/caf\xC3\xA9.txt"), "accent") << c.opts;
  }
}

TEST(CliAdd, ExcludeRefreshMoveAndDelete) {
  testutil::TempDir tmp;
  const std::string d = Tree(tmp);
  const std::string arc = tmp.file("e.zip");
  std::string out;
  ASSERT_EQ(testutil::Run(Zefa("a " + ShellQuote(arc) + " " + ShellQuote(d) + " -r --exclude '*.log'"), &out), 0) << out;
  if (testutil::HaveTool("unzip")) {
    testutil::Run("unzip -l " + ShellQuote(arc), &out);
    EXPECT_EQ(out.find("b.log"), std::string::npos) << out;
    EXPECT_NE(out.find("proj/a.txt"), std::string::npos) << out;
  }
  // Refresh adds nothing new and replaces each changed file, by date (same
  // size) or by size (same date), and says how many.
  testutil::WriteFile(d + "/new.txt", "new");
  const std::string refresh = Zefa("a " + ShellQuote(arc) + " " + ShellQuote(d) + " -r --refresh");
  ASSERT_EQ(testutil::Run(refresh, &out), 0) << out;
  EXPECT_NE(out.find("0 files changed; "), std::string::npos) << out;
  const auto sameDate = fs::last_write_time(d + "/sub/caf\xC3\xA9.txt");
  std::string a = testutil::ReadFile(d + "/a.txt");
  a[0] = static_cast<char>(a[0] ^ 1);
  testutil::WriteFile(d + "/a.txt", a);
  fs::last_write_time(d + "/a.txt", fs::last_write_time(d + "/a.txt") + std::chrono::seconds(10));
  testutil::WriteFile(d + "/sub/caf\xC3\xA9.txt", "accent, longer");
  fs::last_write_time(d + "/sub/caf\xC3\xA9.txt", sameDate);
  ASSERT_EQ(testutil::Run(refresh, &out), 0) << out;
  EXPECT_NE(out.find("2 changed files replaced"), std::string::npos) << out;
  const std::string x = Zefa("x --stdout " + ShellQuote(arc) + " ");
  EXPECT_EQ(testutil::Run(x + "'*a.txt'", &out), 0);
  EXPECT_TRUE(out == a);
  EXPECT_EQ(testutil::Run(x + "'*caf*'", &out), 0);
  EXPECT_EQ(out, "accent, longer");
  EXPECT_EQ(testutil::Run(x + "'*new.txt' 2>/dev/null", &out), 1);
  // Delete by mask.
  ASSERT_EQ(testutil::Run(Zefa("d " + ShellQuote(arc) + " '*.bin'"), &out), 0) << out;
  EXPECT_NE(out.find("1 entry deleted"), std::string::npos) << out;
  EXPECT_EQ(testutil::Run(Zefa("d " + ShellQuote(arc) + " '*.nothing'"), &out), 1) << out;
  // Move deletes the sources once stored.
  ASSERT_EQ(testutil::Run(Zefa("a " + ShellQuote(arc) + " " + ShellQuote(d + "/new.txt") + " --move"), &out), 0) << out;
  EXPECT_FALSE(fs::exists(d + "/new.txt"));
  // A missing input is named and gives exit code 1 when something else went in.
  EXPECT_EQ(testutil::Run(Zefa("a " + ShellQuote(arc) + " " + ShellQuote(tmp.file("nope.txt"))), &out), 1);
  EXPECT_NE(out.find("nope.txt: File not found\n"), std::string::npos) << out;
  EXPECT_EQ(testutil::Run(Zefa("a " + ShellQuote(tmp.file("none.zip")) + " " + ShellQuote(tmp.file("nope.txt"))), &out), 1);
  EXPECT_FALSE(fs::exists(tmp.file("none.zip")));
}

// The archive is never its own input, whatever path names it, so a move can
// never delete it; a write that fails (file size limit standing in for a full
// disk) says so, exits non-zero and leaves the old archive as it was.
TEST(CliAdd, ArchiveNeverAddsItselfAndFailedWritesSaySo) {
  testutil::TempDir tmp;
  const std::string d = Tree(tmp);
  std::string out;
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(d + "/sub") + " && " + Zefa("a ../m.zip ../a.txt"), &out), 0) << out;
  EXPECT_EQ(testutil::Run("cd " + ShellQuote(d + "/sub") + " && " + Zefa("a --move ../m.zip '../*'"), &out), 0)
      << out;
  EXPECT_TRUE(fs::exists(d + "/m.zip"));
  EXPECT_FALSE(fs::exists(d + "/b.log"));  // moved in
  ASSERT_EQ(testutil::Run("unzip -Z1 " + ShellQuote(d + "/m.zip"), &out), 0);
  EXPECT_EQ(out.find("m.zip"), std::string::npos) << out;
  // "." stands for its contents, stored without "./", and twice is no change.
  for (int run = 0; run < 2; ++run)
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(d + "/sub") + " && " + Zefa("a -r dot.zip ."), &out), 0) << out;
  ASSERT_EQ(testutil::Run("unzip -Z1 " + ShellQuote(d + "/sub/dot.zip"), &out), 0);
  EXPECT_EQ(out, "c.bin\ncaf\xC3\xA9.txt\n");

  const std::string before = testutil::ReadFile(d + "/m.zip");
  testutil::WriteFile(d + "/big.bin", testutil::RandomBytes(400000, 3));
  EXPECT_NE(testutil::Run("cd " + ShellQuote(d) + " && trap '' XFSZ && ulimit -f 200 && " + Zefa("a m.zip big.bin") +
                              " 2>&1",
                          &out),
            0);
  EXPECT_TRUE(out.find("Disk full") != std::string::npos || out.find("Error writing") != std::string::npos) << out;
  EXPECT_EQ(testutil::ReadFile(d + "/m.zip"), before);
}
