// What users of zip, unzip and bsdtar expect of zefa: masks against whole
// stored names, stored names as given, empty folders, the overwrite question,
// refusals said in one sentence with the documented exit codes, for every
// family zefa writes.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/testutil.h"

using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// Runs zefa in dir (stdin not a terminal unless answers come through script), stderr joined.
int Zefa(const TempDir& tmp, const std::string& args, std::string* out = nullptr) {
  return testutil::Run("cd " + ShellQuote(tmp.path()) + " && timeout 10 " + ShellQuote(testutil::CliPath()) + " " +
                           args + " </dev/null 2>&1",
                       out);
}

// The stored names, one a line, as zefa lists them.
std::string Names(const TempDir& tmp, const std::string& archive) {
  std::string out;
  testutil::Run("cd " + ShellQuote(tmp.path()) + " && " + ShellQuote(testutil::CliPath()) + " l --dirs --json " +
                    archive + " | grep -o '\"name\": \"[^\"]*\"' | cut -d'\"' -f4 | sort",
                &out);
  return out;
}

// a.txt, src/a.txt, src/sub/b.txt and the empty folder src/empty.
void Tree(const TempDir& tmp) {
  std::filesystem::create_directories(tmp.file("src/sub"));
  std::filesystem::create_directories(tmp.file("src/empty"));
  WriteFile(tmp.file("a.txt"), "top\n");
  WriteFile(tmp.file("src/a.txt"), "inner\n");
  WriteFile(tmp.file("src/sub/b.txt"), "bee\n");
}

}  // namespace

// A mask is matched against the whole stored name, "*" crossing folders, case
// and all, for l, x, t and d alike; one that matches nothing is said and gives exit 1.
TEST(CliConventions, MasksMatchWholeStoredNames) {
  TempDir tmp;
  Tree(tmp);
  ASSERT_EQ(Zefa(tmp, "a -r m.zip a.txt src"), 0);
  struct Case {
    std::string args;
    int rc;
    std::string names;  // what l lists afterwards (d) or lists itself (l)
    std::string said;
  } cases[] = {
      {"l m.zip a.txt", 0, "a.txt\n", ""},
      {"l m.zip '*a.txt'", 0, "a.txt\nsrc/a.txt\n", ""},
      {"l m.zip 'src/*.txt'", 0, "src/a.txt\nsrc/sub/b.txt\n", ""},
      {"t m.zip b.txt", 1, "", "zefa: no entry matches b.txt"},
      {"l m.zip 'SRC/*'", 1, "", "zefa: no entry matches SRC/*"},
      {"x m.zip a.txt -o out", 0, "", ""},
      {"d m.zip a.txt", 0, "src/a.txt\nsrc/empty/\nsrc/sub/b.txt\n", "1 entry deleted"},
      {"d m.zip nothing.txt", 1, "", "zefa: no entry matches nothing.txt"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(Zefa(tmp, c.args, &out), c.rc) << c.args << "\n" << out;
    if (!c.said.empty()) EXPECT_NE(out.find(c.said), std::string::npos) << c.args << "\n" << out;
    if (c.args[0] == 'd' && !c.names.empty()) EXPECT_EQ(Names(tmp, "m.zip"), c.names) << c.args;
    if (c.args[0] == 'l') {
      for (const char* n : {"a.txt", "src/a.txt", "src/sub/b.txt"}) {
        const bool listed = out.find("  " + std::string(n) + "\n") != std::string::npos;
        EXPECT_EQ(listed, c.names.find(std::string(n) + "\n") == 0 ||
                              c.names.find("\n" + std::string(n) + "\n") != std::string::npos)
            << c.args << " " << n << "\n" << out;
      }
    }
  }
  EXPECT_EQ(ReadFile(tmp.file("out/a.txt")), "top\n");
  EXPECT_FALSE(std::filesystem::exists(tmp.file("out/src/a.txt")));
}

// Stored names are the paths as given, without "./" and leading "../", an
// absolute one without its "/"; so adding a changed file replaces its entry.
TEST(CliConventions, StoredNamesAreThePathsAsGiven) {
  TempDir tmp;
  Tree(tmp);
  const std::string abs = tmp.file("a.txt").substr(1);
  const std::string here = std::filesystem::path(tmp.path()).filename().string();
  struct Case {
    std::string args, names;
  } cases[] = {
      {"a n1.zip src/a.txt", "src/a.txt\n"},
      {"a n2.zip ./src/sub/b.txt a.txt", "a.txt\nsrc/sub/b.txt\n"},
      {"a -r n3.zip src/sub", "src/sub/b.txt\n"},
      {"a -r n4.zip .", "a.txt\nn1.zip\nn2.zip\nn3.zip\nsrc/a.txt\nsrc/empty/\nsrc/sub/b.txt\n"},
      {"a n5.zip " + ShellQuote(tmp.file("a.txt")), abs + "\n"},
      {"a n6.zip ../" + here + "/src/a.txt", here + "/src/a.txt\n"},  // leading "../" dropped, as zip does
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(Zefa(tmp, c.args, &out), 0) << c.args << "\n" << out;
    const std::string arc = c.args.substr(c.args.find(" n") + 1, 6);
    EXPECT_EQ(Names(tmp, arc), c.names) << c.args;
  }
  WriteFile(tmp.file("src/a.txt"), "changed, longer\n");
  ASSERT_EQ(Zefa(tmp, "a n1.zip src/a.txt"), 0);
  EXPECT_EQ(Names(tmp, "n1.zip"), "src/a.txt\n");
}

// Folders come back, empty ones too, unless --no-dirs; in every family zefa writes.
TEST(CliConventions, EmptyFoldersAndFamilies) {
  TempDir tmp;
  Tree(tmp);
  for (const std::string fmt : {"zip", "jar", "lha", "bh", "cab"}) {
    const std::string arc = "f." + fmt;
    std::string out;
    ASSERT_EQ(Zefa(tmp, "a -r -f " + fmt + " " + arc + " a.txt src", &out), 0) << fmt << "\n" << out;
    EXPECT_NE(Names(tmp, arc).find("src/sub/b.txt\n"), std::string::npos) << fmt;
    EXPECT_EQ(Zefa(tmp, "x " + arc + " -o x-" + fmt, &out), 0) << fmt << "\n" << out;
    EXPECT_EQ(ReadFile(tmp.file("x-" + fmt + "/src/sub/b.txt")), "bee\n") << fmt;
    EXPECT_EQ(Zefa(tmp, "t " + arc + " 'src/*'", &out), 0) << fmt << "\n" << out;
    EXPECT_EQ(Zefa(tmp, "x " + arc + " 'sub/*' -o y-" + fmt, &out), 1) << fmt << "\n" << out;
    EXPECT_NE(out.find("no entry matches sub/*"), std::string::npos) << fmt << "\n" << out;
  }
  EXPECT_TRUE(std::filesystem::is_directory(tmp.file("x-zip/src/empty")));
  ASSERT_EQ(Zefa(tmp, "x f.zip --no-dirs -o nd"), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("nd/src/empty")));
  EXPECT_EQ(ReadFile(tmp.file("nd/src/sub/b.txt")), "bee\n");
}

// On a terminal zefa x asks before replacing a file; without one it replaces
// (or keeps with --skip-existing); a password is asked once on a terminal.
TEST(CliConventions, QuestionsOnATerminal) {
  REQUIRE_TOOL("script");
  REQUIRE_TOOL("zip");
  TempDir tmp;
  Tree(tmp);
  ASSERT_EQ(Zefa(tmp, "a o.zip a.txt src/a.txt"), 0);
  testutil::Run("cd " + ShellQuote(tmp.path()) + " && zip -q -P pw e.zip a.txt src/a.txt");
  struct Case {
    std::string answers, args, top, inner;
  } cases[] = {
      {"n\ny\n", "x o.zip", "old\n", "inner\n"},
      {"A\n", "x o.zip", "top\n", "inner\n"},
      {"N\n", "x o.zip", "old\n", "old\n"},
      {"", "x o.zip --skip-existing", "old\n", "old\n"},
      {"pw\n", "x e.zip --overwrite", "top\n", "inner\n"},
  };
  for (const Case& c : cases) {
    WriteFile(tmp.file("t/a.txt"), "old\n");
    WriteFile(tmp.file("t/src/a.txt"), "old\n");
    const std::string cmd = ShellQuote(testutil::CliPath()) + " " + c.args + " -o t";
    std::string out;
    testutil::Run("cd " + ShellQuote(tmp.path()) + " && printf '" + c.answers + "' | script -qec " + ShellQuote(cmd) +
                      " /dev/null",
                  &out);
    EXPECT_EQ(ReadFile(tmp.file("t/a.txt")), c.top) << c.args << " " << c.answers << "\n" << out;
    EXPECT_EQ(ReadFile(tmp.file("t/src/a.txt")), c.inner) << c.args << " " << c.answers << "\n" << out;
  }
  // No terminal: replaced without a question.
  ASSERT_EQ(Zefa(tmp, "x o.zip -o t"), 0);
  EXPECT_EQ(ReadFile(tmp.file("t/a.txt")), "top\n");
}

// Refusals are one sentence naming the thing, with the documented exit code.
TEST(CliConventions, RefusalsAreSentencesWithExitCodes) {
  TempDir tmp;
  Tree(tmp);
  std::filesystem::create_directories(tmp.file("lk"));
  WriteFile(tmp.file("lk/t.txt"), "target\n");
  std::filesystem::create_symlink("t.txt", tmp.file("lk/l.txt"));
  std::filesystem::create_directory_symlink("src", tmp.file("ldir"));
  std::filesystem::create_directory_symlink(".", tmp.file("lk/loop"));  // a loop: walked once
  // Files the writers' headers cannot hold (sparse: no disk space taken).
  testutil::Run("cd " + ShellQuote(tmp.path()) + " && truncate -s 2500M big.bin && truncate -s 4100M huge.bin && touch " +
                std::string(240, 'n') + " && mkdir " + std::string(200, 'd') + " && touch " + std::string(200, 'd') + "/" +
                std::string(60, 'm'));
  ASSERT_EQ(Zefa(tmp, "a ro.zip a.txt"), 0);
  std::filesystem::permissions(tmp.file("ro.zip"), std::filesystem::perms::owner_read);
  // A stored entry whose data is damaged: its CRC fails.
  ASSERT_EQ(Zefa(tmp, "a --store bad.zip src/a.txt"), 0);
  std::string bad = ReadFile(tmp.file("bad.zip"));
  // The data of the first entry ("inner\n"), after its name and extra field.
  bad[30 + static_cast<uint8_t>(bad[26]) + static_cast<uint8_t>(bad[28])] = 'X';
  WriteFile(tmp.file("bad.zip"), bad);
  // The same entry marked as method 10, which zefa names but does not decode.
  std::string m10 = ReadFile(tmp.file("bad.zip"));
  m10[8] = 10;
  m10[m10.find("PK\x01\x02") + 10] = 10;
  WriteFile(tmp.file("m10.zip"), m10);
  struct Case {
    std::string args;
    int rc;
    std::string said;
  } cases[] = {
      {"a none.zip nosuch a.txt", 1, "zefa: nosuch: File not found"},
      {"a none.zip 'x*.none' a.txt", 1, "zefa: no file matches x*.none"},
      {"x src", 2, "zefa: src: is a folder"},
      {"l nosuch.zip", 2, "nosuch.zip: File not found\n"},
      {"l nosuch.zip --verbose", 2, "nosuch.zip: File not found (25192)\n"},  // codes only when asked
      {"a ro.zip src/a.txt", 2, "ro.zip: the archive cannot be written"},
      {"d ro.zip a.txt", 2, "ro.zip: the archive cannot be written"},
      {"a -r lk.zip lk", 0, "2 files added"},  // the link to a file is that file
      {"a --links lk2.zip lk", 2, "--links"},  // not offered: links are followed
      {"a out.abc a.txt", 2, "zefa: out.abc: zefa writes no .abc archives; it writes zip, jar, lha, bh, cab or tar (-f chooses)"},
      {"a out.7z a.txt", 2, "zefa: out.7z: 7z archives cannot be written yet"},
      {"a noext a.txt", 0, "1 file added to"},
      {"a ldir/q.zip a.txt", 0, "1 file added"},  // through a link to a folder
      {"a a.txt src/a.txt", 2, "a.txt: not an archive"},
      {"d a.txt a", 2, "a.txt: not an archive"},
      {"l src", 2, "src: is a folder"},
      {"a c.cab a.txt big.bin", 2, "/big.bin: a cabinet holds files of at most 2,147,450,880 bytes; this one has 2,621,440,000\n"},
      {"a h.lha huge.bin", 2, "huge.bin: an LHA level-0 header holds files of at most 4,294,967,295 bytes"},
      {"a h.lha nnnnn*", 2, "an LHA level-0 header holds names of at most 233 bytes; this one has 240\n"},
      {"a h.bh -r dddd*", 2, "a BH header holds names of at most 255 bytes; this one has 261\n"},
      {"a -r fo.zip src", 0, ""},  // a folder with -r: its contents
      {"a fo.zip src", 0, "zefa: src is a folder: stored without its contents (-r adds them)"},
      {"a fo.zip src", 0, "0 files changed; "},
      {"t m10.zip", 1, "zefa: src/a.txt: Unsupported compression method: DCL-implode (method 10)\n"},
      {"t bad.zip", 1, "zefa: src/a.txt: File fails CRC check"},
      {"x bad.zip -o kb --keep-broken", 1, "src/a.txt: File fails CRC check"},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(Zefa(tmp, c.args, &out), c.rc) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << c.args << "\n" << out;
    EXPECT_EQ(out.find("(at"), std::string::npos) << out;
    EXPECT_EQ(out.find("event"), std::string::npos) << out;
  }
  EXPECT_FALSE(std::filesystem::exists(tmp.file("none.zip")));
  EXPECT_NE(Names(tmp, "fo.zip").find("src/\n"), std::string::npos);
  for (const char* refused : {"c.cab", "h.lha", "h.bh"}) EXPECT_FALSE(std::filesystem::exists(tmp.file(refused))) << refused;
  EXPECT_FALSE(std::filesystem::exists(tmp.file("out.7z")));
  EXPECT_TRUE(std::filesystem::is_regular_file(tmp.file("noext")));
  EXPECT_TRUE(std::filesystem::is_regular_file(tmp.file("src/q.zip")));
  std::string linked;
  testutil::Run("unzip -p " + ShellQuote(tmp.file("lk.zip")) + " lk/l.txt", &linked);
  EXPECT_EQ(linked, "target\n");
  EXPECT_EQ(ReadFile(tmp.file("kb/src/a.txt")).size(), 6u);  // kept under its name
  std::string help;
  testutil::Run(ShellQuote(testutil::CliPath()) + " x --help", &help);
  EXPECT_NE(help.find("Exit codes: 0"), std::string::npos) << help;
}

// A followed link is stored with its target's mode and time, never its own
// (0777, the link's date) beside the target's data; modes come back under the
// umask, as tar gives them to a user.
TEST(CliConventions, LinksTakeTheirTargetsMetadataAndModesKeepTheUmask) {
  TempDir tmp;
  std::filesystem::create_directories(tmp.file("lk"));
  WriteFile(tmp.file("lk/t.txt"), "target\n");
  std::filesystem::create_symlink("t.txt", tmp.file("lk/l.txt"));
  testutil::Run("cd " + ShellQuote(tmp.path()) + " && chmod 0640 lk/t.txt && touch -d '2020-02-03 04:05:07' lk/t.txt");
  const auto when = std::filesystem::last_write_time(tmp.file("lk/t.txt"));
  for (const std::string fmt : {"zip", "lha", "tar"}) {
    std::string out;
    ASSERT_EQ(Zefa(tmp, "a -r lk." + fmt + " lk", &out), 0) << fmt << "\n" << out;
    ASSERT_EQ(Zefa(tmp, "x lk." + fmt + " -o x-" + fmt + " && umask 077 && " + ShellQuote(testutil::CliPath()) +
                            " x lk." + fmt + " -o u-" + fmt, &out), 0) << fmt << "\n" << out;
    for (const char* name : {"t.txt", "l.txt"}) {
      const std::string x = tmp.file("x-" + fmt + "/lk/" + name), u = tmp.file("u-" + fmt + "/lk/" + name);
      EXPECT_EQ(static_cast<int>(std::filesystem::status(x).permissions()), 0640) << fmt << " " << name;
      EXPECT_EQ(static_cast<int>(std::filesystem::status(u).permissions()), 0600) << fmt << " " << name;
      EXPECT_TRUE(std::filesystem::last_write_time(x) == when) << fmt << " " << name;
    }
  }
}
