// zefa x and zefa t: options, exit codes and error lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/testutil.h"

using testutil::CliPath;
using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

int Zefa(const std::string& args, std::string* out = nullptr) {
  return testutil::Run("timeout 10 " + ShellQuote(CliPath()) + " " + args + " </dev/null", out);
}

// src/a.txt, src/sub/b.txt and src/p.txt zipped as plain.zip; p.txt also in enc.zip with a password.
void MakeArchives(const TempDir& tmp) {
  testutil::Run("mkdir -p " + ShellQuote(tmp.file("src/sub")));
  WriteFile(tmp.file("src/a.txt"), testutil::TextBytes(20000, 1));
  WriteFile(tmp.file("src/sub/b.txt"), "bee\n");
  WriteFile(tmp.file("src/p.txt"), "private\n");
  testutil::Run("cd " + ShellQuote(tmp.file("src")) + " && zip -q -r " + ShellQuote(tmp.file("plain.zip")) +
                " a.txt sub && zip -q -P pw " + ShellQuote(tmp.file("enc.zip")) + " p.txt");
}

}  // namespace

TEST(CliExtract, ExtractsIntoTheTargetWithFoldersOrFlat) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  MakeArchives(tmp);
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " -o " + ShellQuote(tmp.file("out"))), 0);
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), ReadFile(tmp.file("src/a.txt")));
  EXPECT_EQ(ReadFile(tmp.file("out/sub/b.txt")), "bee\n");
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " --flat -o " + ShellQuote(tmp.file("flat"))), 0);
  EXPECT_EQ(ReadFile(tmp.file("flat/b.txt")), "bee\n");
  // A mask selects entries.
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " '*b.*' -o " + ShellQuote(tmp.file("masked"))), 0);
  EXPECT_TRUE(ReadFile(tmp.file("masked/a.txt")).empty());
  EXPECT_EQ(ReadFile(tmp.file("masked/sub/b.txt")), "bee\n");
}

TEST(CliExtract, OverwriteAndSkipExisting) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  MakeArchives(tmp);
  WriteFile(tmp.file("out/sub/b.txt"), "old\n");
  // Keeping an existing file is what the user asked for: a success, and said.
  std::string out;
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " --skip-existing -o " + ShellQuote(tmp.file("out")),
                 &out), 0);
  EXPECT_NE(out.find("1 existing file kept"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(tmp.file("out/sub/b.txt")), "old\n");
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), ReadFile(tmp.file("src/a.txt")));
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " --overwrite -o " + ShellQuote(tmp.file("out"))), 0);
  EXPECT_EQ(ReadFile(tmp.file("out/sub/b.txt")), "bee\n");
  EXPECT_NE(Zefa("x " + ShellQuote(tmp.file("plain.zip")) + " --overwrite --skip-existing"), 0);
}

TEST(CliExtract, PasswordsAndErrorLines) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  MakeArchives(tmp);
  std::string out;
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("enc.zip")) + " -p pw -o " + ShellQuote(tmp.file("o1"))), 0);
  EXPECT_EQ(ReadFile(tmp.file("o1/p.txt")), "private\n");
  // No terminal and no -p: one line naming the entry and the way out.
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("enc.zip")) + " -o " + ShellQuote(tmp.file("o2")) + " 2>&1", &out), 1);
  EXPECT_EQ(out, "zefa: p.txt is encrypted: give the password with -p\n");
  // Several: one line for all of them.
  testutil::Run("cd " + ShellQuote(tmp.path()) + " && cp o1/p.txt q.txt && cp o1/p.txt r.txt && zip -q -P pw enc3.zip o1/p.txt q.txt r.txt");
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("enc3.zip")) + " 2>&1 </dev/null", &out), 1);
  EXPECT_NE(out.find("zefa: 3 entries are encrypted (o1/p.txt the first): give the password with -p\n"),
            std::string::npos) << out;
  EXPECT_EQ(out.find("wrong password"), std::string::npos) << out;
  // A wrong one is said by entry, never echoed.
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("enc.zip")) + " -p nope 2>&1", &out), 1);
  EXPECT_NE(out.find("zefa: p.txt: wrong password"), std::string::npos) << out;
  EXPECT_EQ(out.find("nope"), std::string::npos) << out;
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("enc.zip")) + " -p pw", &out), 0);
}

// Data to standard output, as unzip -p and 7zz e -so give it, in each
// spelling; -p before the archive asks instead of taking its name; a damaged
// entry fails the exit code.
TEST(CliExtract, StdoutAndThePasswordOptionAsPeersSpellThem) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  MakeArchives(tmp);
  std::string zip = ReadFile(tmp.file("plain.zip"));
  zip[300] = static_cast<char>(zip[300] ^ 0x55);
  WriteFile(tmp.file("bad.zip"), zip);
  const std::string a = ReadFile(tmp.file("src/a.txt"));
  struct Case {
    std::string args;
    int rc;
    std::string out;
  } cases[] = {
      {"x --stdout plain.zip a.txt", 0, a},
      {"x -so plain.zip a.txt", 0, a},
      {"x -o - plain.zip a.txt", 0, a},
      {"x --stdout plain.zip", 0, a + "bee\n"},
      {"x -ppw --stdout enc.zip", 0, "private\n"},
      {"x -p pw --stdout enc.zip", 0, "private\n"},
      {"x --password pw -o - enc.zip", 0, "private\n"},
      // -p alone before the archive: no terminal to ask on, so the entry's hint.
      {"x -p enc.zip --stdout 2>&1", 1, "zefa: p.txt is encrypted: give the password with -p\n"},
      // A damaged entry: its failure is in the exit code.
      {"x --stdout bad.zip a.txt >/dev/null 2>&1", 1, ""},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(testutil::Run("cd " + ShellQuote(tmp.path()) + " && timeout 10 " + ShellQuote(CliPath()) + " " + c.args +
                                " </dev/null", &out), c.rc) << c.args;
    EXPECT_TRUE(out == c.out) << c.args << ": " << out.substr(0, 200);
  }
  EXPECT_FALSE(std::filesystem::exists(tmp.file("-")));
}

TEST(CliExtract, TestModeAndExitCodes) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  MakeArchives(tmp);
  std::string out;
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("plain.zip")), &out), 0);
  // A damaged byte in the data of a.txt: one failed entry, exit 1.
  std::string zip = ReadFile(tmp.file("plain.zip"));
  zip[300] = static_cast<char>(zip[300] ^ 0x55);
  WriteFile(tmp.file("bad.zip"), zip);
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("bad.zip")) + " 2>&1", &out), 1);
  // The entry by its stored name first, words last (the code only with --verbose); t names no output path.
  EXPECT_NE(out.find("zefa: a.txt: "), std::string::npos) << out;
  EXPECT_EQ(out.find(" (25"), std::string::npos) << out;
  EXPECT_EQ(out.find(tmp.path()), std::string::npos) << out;
  // Not an archive, or no file at all: exit 2.
  WriteFile(tmp.file("junk.zip"), std::string(100, 'j'));
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("junk.zip")) + " 2>/dev/null"), 2);
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("missing.zip")) + " 2>/dev/null"), 2);
}

// A recognised family without an extractor (or a file that is no archive) is
// said in one sentence with exit 2, never a bare code or an empty success.
TEST(CliExtract, FamiliesWithoutAnExtractorSaySo) {
  TempDir tmp;
  // An MsGZ header: recognised, listed only.
  WriteFile(tmp.file("a.rar"), std::string("\x13\x5D\x65\x8C", 4) + std::string(60, '\0'));
  WriteFile(tmp.file("plain.txt"), "just text\n");
  std::string out;
  EXPECT_EQ(Zefa("x " + ShellQuote(tmp.file("plain.txt")) + " -o " + ShellQuote(tmp.file("o")) + " 2>&1", &out), 2);
  EXPECT_NE(out.find("not an archive"), std::string::npos) << out;
  EXPECT_EQ(Zefa("t " + ShellQuote(tmp.file("a.rar")) + " 2>&1", &out), 2);
  EXPECT_NE(out.find("MsGZ archives"), std::string::npos) << out;
}

// A compressed tar gives the tar's files and nothing else: no tar beside them.
TEST(CliExtract, CompressedTarLeavesOnlyItsMembers) {
  REQUIRE_TOOL("tar");
  TempDir tmp;
  WriteFile(tmp.file("src/sub/b.txt"), "bee\n");
  WriteFile(tmp.file("src/a.txt"), testutil::TextBytes(20000, 2));
  for (const char* ext : {"gz", "xz"}) {
    SCOPED_TRACE(ext);
    const std::string arc = tmp.file(std::string("t.tar.") + ext), out = tmp.file(std::string("out-") + ext);
    ASSERT_EQ(testutil::Run("tar -ca -f " + ShellQuote(arc) + " -C " + ShellQuote(tmp.file("src")) + " a.txt sub"), 0);
    EXPECT_EQ(Zefa("x " + ShellQuote(arc) + " -o " + ShellQuote(out)), 0);
    std::string found;
    testutil::Run("cd " + ShellQuote(out) + " && find . -type f | sort", &found);
    EXPECT_EQ(found, "./a.txt\n./sub/b.txt\n");
    EXPECT_EQ(ReadFile(out + "/a.txt"), ReadFile(tmp.file("src/a.txt")));
    std::string listed;
    EXPECT_EQ(Zefa("l " + ShellQuote(arc), &listed), 0);
    EXPECT_NE(listed.find("sub/b.txt"), std::string::npos) << listed;
    EXPECT_EQ(Zefa("t " + ShellQuote(arc)), 0);
  }
}

// A split set opened from its first piece is read whole; without its middle
// piece the missing file is named, the entry that is complete is extracted,
// and the summaries say which entry failed and why.
TEST(CliExtract, SplitSetsFromAnyPieceAndTheirSummaries) {
  REQUIRE_TOOL("zip");
  TempDir tmp;
  WriteFile(tmp.file("src/seq.txt"), testutil::TextBytes(9000, 3));
  WriteFile(tmp.file("src/big.bin"), testutil::RandomBytes(2500000, 4));
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(tmp.file("src")) + " && zip -q -s 1m split.zip seq.txt big.bin"), 0);
  const std::string first = ShellQuote(tmp.file("src/split.z01"));
  EXPECT_EQ(Zefa("x " + first + " -o " + ShellQuote(tmp.file("out"))), 0);
  EXPECT_TRUE(ReadFile(tmp.file("out/big.bin")) == ReadFile(tmp.file("src/big.bin")));
  EXPECT_EQ(ReadFile(tmp.file("out/seq.txt")), ReadFile(tmp.file("src/seq.txt")));
  std::string out;
  EXPECT_EQ(Zefa("t " + first + " --json", &out), 0);
  EXPECT_NE(out.find("\"totals\": {\"entries\": 2, \"ok\": 2, \"failed\": 0"), std::string::npos) << out;

  std::filesystem::remove(tmp.file("src/split.z02"));
  EXPECT_EQ(Zefa("t " + first + " --report", &out), 1);
  EXPECT_NE(out.find("the volume split.z02 of the set is missing"), std::string::npos) << out;
  EXPECT_EQ(out.find("canceled"), std::string::npos) << out;
  EXPECT_NE(out.find("OK              seq.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("volume missing  big.bin"), std::string::npos) << out;
  EXPECT_NE(out.find("1 of 2 entries OK"), std::string::npos) << out;
  EXPECT_EQ(Zefa("x " + first + " -o " + ShellQuote(tmp.file("part"))), 1);
  EXPECT_EQ(ReadFile(tmp.file("part/seq.txt")), ReadFile(tmp.file("src/seq.txt")));
  EXPECT_FALSE(std::filesystem::exists(tmp.file("part/big.bin")));

  // A cabinet set: opened from a middle cabinet, then with one cabinet gone
  // the rest is still read (an entry past the gap too).
  struct Row { std::string dir, first, middle, gone, whole, part; };
  std::vector<Row> rows;
  const std::string cabs = testutil::CorpusDir().empty() ? "" : testutil::CorpusDir() + "/cab/cabextract_split";
  if (!cabs.empty() && std::filesystem::exists(cabs)) {
    std::filesystem::copy(cabs, tmp.file("cab"));
    rows.push_back({tmp.file("cab"), "Split-1.CAB", "Split-3.CAB", "Split-3.CAB", "6 of 6", "5 of 6"});
  }
  for (const Row& r : rows) {
    SCOPED_TRACE(r.middle);
    const std::string middle = ShellQuote(r.dir + "/" + r.middle);
    EXPECT_EQ(Zefa("t " + middle, &out), 0);
    EXPECT_NE(out.find(r.whole + " entries OK"), std::string::npos) << out;
    std::filesystem::remove(r.dir + "/" + r.gone);
    EXPECT_EQ(Zefa("t " + ShellQuote(r.dir + "/" + r.first) + " --report 2>&1", &out), 1);
    EXPECT_NE(out.find(r.gone + " of the set is missing"), std::string::npos) << out;
    EXPECT_EQ(out.find("canceled"), std::string::npos) << out;
    EXPECT_NE(out.find("volume missing"), std::string::npos) << out;
    EXPECT_NE(out.find(r.part + " entries OK"), std::string::npos) << out;
  }
}

// An ARJ set (arj -v) with one volume gone: the missing volume is named once,
// the run fails, and every entry that does not touch the gap is listed and
// extracted byte-exact. 50 KB volumes: a.bin | big.bin spans .arj .a01 .a02 |
// c.bin in .a02 | d.bin spans .a02 .a03 | e.bin in .a03.
TEST(CliExtract, ArjSetsAreReadPastAMissingVolume) {
  REQUIRE_TOOL("arj");
  TempDir tmp;
  const std::vector<std::pair<std::string, size_t>> files = {
      {"a.bin", 30000}, {"big.bin", 70000}, {"c.bin", 20000}, {"d.bin", 60000}, {"e.bin", 5000}};
  for (size_t i = 0; i < files.size(); ++i)
    WriteFile(tmp.file("src/" + files[i].first), testutil::RandomBytes(files[i].second, static_cast<int>(i + 7)));
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(tmp.file("src")) +
                          " && arj a -y -v50k set.arj a.bin big.bin c.bin d.bin e.bin >/dev/null"),
            0);
  ASSERT_TRUE(std::filesystem::exists(tmp.file("src/set.a03")));
  struct Row {
    const char* gone;
    std::vector<std::string> listed, intact;
  };
  const Row rows[] = {
      {"set.a01", {"a.bin", "big.bin", "c.bin", "d.bin", "e.bin"}, {"a.bin", "c.bin", "d.bin", "e.bin"}},
      {"set.a02", {"a.bin", "big.bin", "e.bin"}, {"a.bin", "e.bin"}},
      {"set.a03", {"a.bin", "big.bin", "c.bin", "d.bin"}, {"a.bin", "big.bin", "c.bin"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.gone);
    const std::string dir = tmp.file(std::string("gap-") + r.gone);
    std::filesystem::create_directory(dir);
    for (const char* v : {"set.arj", "set.a01", "set.a02", "set.a03"})
      if (r.gone != std::string(v)) std::filesystem::copy(tmp.file(std::string("src/") + v), dir + "/" + v);
    const std::string missing = std::string("the volume ") + r.gone + " of the set is missing";
    for (const std::string cmd : {"l", "t", "x"}) {
      SCOPED_TRACE(cmd);
      std::string out;
      const std::string target = cmd == "x" ? " -o " + ShellQuote(dir + "/out") : "";
      EXPECT_EQ(Zefa(cmd + " " + ShellQuote(dir + "/set.arj") + target, &out), 1);
      const size_t at = out.find(missing);
      EXPECT_NE(at, std::string::npos) << out;
      EXPECT_EQ(out.find(missing, at + 1), std::string::npos) << out;
      EXPECT_EQ(out.find("canceled"), std::string::npos) << out;
      if (cmd == "l")
        for (const auto& f : files)
          EXPECT_EQ(out.find(f.first) != std::string::npos,
                    std::count(r.listed.begin(), r.listed.end(), f.first) == 1)
              << f.first << "\n" << out;
    }
    for (const auto& f : files)
      EXPECT_EQ(ReadFile(dir + "/out/" + f.first) == ReadFile(tmp.file("src/" + f.first)) &&
                    std::filesystem::exists(dir + "/out/" + f.first),
                std::count(r.intact.begin(), r.intact.end(), f.first) == 1)
          << f.first;
  }
}
