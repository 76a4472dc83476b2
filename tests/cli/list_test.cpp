// zefa l: the table, the JSON object, masks and exit codes.
#include <gtest/gtest.h>

#include "support/testutil.h"
#include "zip/zip_fixture.h"

using testutil::ShellQuote;

namespace {

// A stored entry in a one-file ZIP dated 2024-01-01 12:00:00.
std::string OneEntryZip(const std::string& name, const std::string& data, uint32_t crc, uint16_t flags = 0) {
  ziptest::Entry e = ziptest::Plain(name, data);
  e.crc = crc;
  e.flags = flags;
  e.dosDate = 0x5821;
  return ziptest::Build({e});
}

int Zefa(const std::string& args, std::string* out, bool withStderr = false) {
  return testutil::Run(ShellQuote(testutil::CliPath()) + " l " + args + (withStderr ? " 2>&1" : " 2>/dev/null"), out);
}

}  // namespace

TEST(CliList, TableAndJsonOfAHandMadeArchive) {
  testutil::TempDir dir;
  const std::string zip = dir.file("one.zip");
  testutil::WriteFile(zip, OneEntryZip("dir/hello.txt", "hello", 0x3610a686));
  std::string out;
  ASSERT_EQ(Zefa(ShellQuote(zip), &out), 0);
  EXPECT_NE(out.find("           5  Stored                 5   0%  2024-01-01 12:00:00  3610a686  dir/hello.txt\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("1 file\n"), std::string::npos) << out;

  ASSERT_EQ(Zefa(ShellQuote(zip) + " --json", &out), 0);
  EXPECT_EQ(out,
            "{\"file\": \"" + zip + "\"" +
                ", \"type\": \"atZip\", \"entries\": [\n"
                "  {\"name\": \"dir/hello.txt\", \"packed\": 5, \"unpacked\": 5, \"ratio\": 0, "
                "\"date\": \"2024-01-01T12:00:00\", \"crc\": 907060870, \"method\": \"Stored\", \"methodId\": 0, "
                "\"encrypted\": false, \"attr\": 32, \"offset\": 0}\n"
                "], \"totals\": {\"packed\": 5, \"unpacked\": 5, \"ratio\": 0, \"files\": 1}}\n");
}

TEST(CliList, MasksExcludesAndFolders) {
  REQUIRE_TOOL("zip");
  testutil::TempDir dir;
  testutil::WriteFile(dir.file("t/a.txt"), "aaaa");
  testutil::WriteFile(dir.file("t/b.log"), "bb");
  testutil::WriteFile(dir.file("t/sub/c.txt"), testutil::TextBytes(5000, 3));
  const std::string zip = dir.file("t.zip");
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(dir.path()) + " && zip -qr t.zip t"), 0);
  std::string out;
  ASSERT_EQ(Zefa(ShellQuote(zip) + " --json", &out), 0);
  EXPECT_NE(out.find("\"t/sub/c.txt\""), std::string::npos);
  EXPECT_EQ(out.find("\"t/sub/\""), std::string::npos);
  EXPECT_NE(out.find("\"files\": 3}"), std::string::npos) << out;

  ASSERT_EQ(Zefa(ShellQuote(zip) + " --dirs --json", &out), 0);
  EXPECT_NE(out.find("{\"name\": \"t/sub/\""), std::string::npos) << out;

  ASSERT_EQ(Zefa(ShellQuote(zip) + " '*.txt' --exclude 'c*' --json", &out), 0);
  EXPECT_NE(out.find("\"t/a.txt\""), std::string::npos) << out;
  EXPECT_EQ(out.find("c.txt"), std::string::npos) << out;
  EXPECT_EQ(out.find("b.log"), std::string::npos) << out;
  EXPECT_NE(out.find("\"files\": 1}"), std::string::npos) << out;
}

TEST(CliList, UnreadableArchivesExitWith2) {
  testutil::TempDir dir;
  std::string out;
  EXPECT_EQ(Zefa(ShellQuote(dir.file("missing.zip")), &out, true), 2);
  EXPECT_EQ(out, "zefa: " + dir.file("missing.zip") + ": File not found\n");

  testutil::WriteFile(dir.file("text.txt"), "no archive here, only words and more words");
  EXPECT_EQ(Zefa(ShellQuote(dir.file("text.txt")), &out, true), 2);
  EXPECT_NE(out.find("text.txt: Unknown file type"), std::string::npos) << out;
}

TEST(CliList, DamagedArchiveListsLocalHeadersAndSaysSo) {
  testutil::TempDir dir;
  std::string bytes = OneEntryZip("a.txt", "abc", 0x352441c2);
  bytes.resize(30 + 5 + 3 + 10);  // the directory is cut off
  testutil::WriteFile(dir.file("cut.zip"), bytes);
  std::string out;
  // Listed with a warning, and the exit code says something is wrong.
  ASSERT_EQ(Zefa(ShellQuote(dir.file("cut.zip")) + " --json", &out, true), 1);
  EXPECT_NE(out.find("\"name\": \"a.txt\""), std::string::npos) << out;
  EXPECT_NE(out.find("damaged or missing"), std::string::npos) << out;
}

// Names cannot drive the terminal: control and bidirectional characters are
// shown escaped in the table and in error lines.
TEST(CliList, ControlCharactersInNamesAreEscaped) {
  testutil::TempDir tmp;
  struct Case {
    std::string name, shown;
  } cases[] = {{"a\x1b[31mred.txt", "a\\x1B[31mred.txt"},
               {"line\nbreak\r.txt", "line\\x0Abreak\\x0D.txt"},
               {"evil\xE2\x80\xAEtxt.exe", "evil\\u{202E}txt.exe"}};
  for (const Case& c : cases) {
    const std::string arc = tmp.file("c.zip");
    testutil::WriteFile(arc, OneEntryZip(c.name, "x", 0, 0x800));  // UTF-8 name; CRC 0: a failure names it
    std::string out;
    Zefa(ShellQuote(arc), &out, true);
    EXPECT_NE(out.find(c.shown), std::string::npos) << out;
    EXPECT_EQ(out.find(c.name), std::string::npos);
    testutil::Run(ShellQuote(testutil::CliPath()) + " t " + ShellQuote(arc) + " 2>&1", &out);
    EXPECT_NE(out.find(c.shown), std::string::npos) << out;
  }
}

// A symbolic link shows its target, in the table and in JSON (TAR and LHA keep it in the header).
TEST(CliList, LinksShowTheirTargets) {
  REQUIRE_TOOL("tar");
  testutil::TempDir dir;
  testutil::WriteFile(dir.file("t/f.txt"), "f");
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(dir.path()) + " && ln -s f.txt t/l && tar cf t.tar t"), 0);
  std::string out;
  ASSERT_EQ(Zefa(ShellQuote(dir.file("t.tar")), &out), 0);
  EXPECT_NE(out.find("  t/l -> f.txt\n"), std::string::npos) << out;
  EXPECT_NE(out.find("  t/f.txt\n"), std::string::npos) << out;
  ASSERT_EQ(Zefa(ShellQuote(dir.file("t.tar")) + " --json", &out), 0);
  EXPECT_NE(out.find("{\"name\": \"t/l\", \"link\": \"f.txt\", "), std::string::npos) << out;
  EXPECT_NE(out.find("{\"name\": \"t/f.txt\", \"packed\""), std::string::npos) << out;
}
