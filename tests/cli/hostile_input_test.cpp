// Input that is not what it claims to be, as zefa meets it from the command
// line: FIFOs, unreadable files, damaged or cut archives of the listed-only
// families, names that would leave the target, a file-size limit. Each case
// must end at once with its own words and a non-zero exit code where
// something went wrong.
#include <gtest/gtest.h>
#include <unistd.h>

#include "other/other_helpers.h"
#include "support/testutil.h"
#include "zip/zip_fixture.h"

using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::string Cut(std::string s, size_t n) { return s.substr(0, s.size() - n); }

// A RAR whose file header was damaged after its CRC was made.
std::string RarBadHeaderCrc() {
  std::string file = othertest::RarStored("a.txt", "hello");
  file[file.size() - 6] ^= 0x20;  // a letter of the name
  return othertest::RarHead() + file + othertest::RarEnd();
}

// A RAR whose only file declares more data than the archive holds.
std::string RarDataPastTheEnd() {
  othertest::RarFileSpec f{"a.txt", "hello", "hello"};
  std::string file = othertest::RarFile(f);
  return othertest::RarHead() + file.substr(0, file.size() - 2);
}

}  // namespace

TEST(CliHostileInput, EachCaseSaysWhatIsWrongAndExitsNonZero) {
  TempDir tmp;
  const std::string ok = ziptest::Build({ziptest::Plain("ok.txt", "fine\n")});
  WriteFile(tmp.file("ok.zip"), ok);
  WriteFile(tmp.file(std::string("p\xFF.zip")), ok);
  WriteFile(tmp.file("badcrc.rar"), RarBadHeaderCrc());
  WriteFile(tmp.file("past.rar"), RarDataPastTheEnd());
  WriteFile(tmp.file("cut.zoo"), Cut(othertest::ZooArchive({{"a.txt", "hi\n", "hi\n"}}), 20));
  WriteFile(tmp.file("win.zip"), ziptest::Build({ziptest::Plain("C:\\w\\a.txt", "a"), ziptest::Plain("\\\\srv\\s\\b.txt", "b"),
                                                 ziptest::Plain("\\\\?\\C:\\c.txt", "c")}));
  WriteFile(tmp.file("big.zip"), ziptest::Build({ziptest::Plain("big.bin", testutil::RandomBytes(200000, 7))}));
  // Not root: the permission bits count.
  const std::string asNobody = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  struct Case {
    std::string setup;  // shell commands run in the folder first
    std::string args;
    int rc;
    std::string said;   // in the output (stdout and stderr)
    std::string notSaid = "\xFF";
  } cases[] = {
      {"mkfifo f.zip", "l f.zip", 2, "f.zip: is a FIFO, not an archive"},
      {"mkfifo g.zip", "x g.zip -o out", 2, "g.zip: is a FIFO, not an archive"},
      {"mkfifo h.zip", "t h.zip", 2, "h.zip: is a FIFO, not an archive"},
      {"mkfifo i.zip", "info i.zip", 2, "i.zip: is a FIFO, not an archive"},
      {"mkfifo j.zip", "a j.zip ok.zip", 2, "j.zip: is a FIFO, not an archive"},
      {"mkfifo pipe", "a n.zip ok.zip pipe", 1, "pipe: Skipped File: not a regular file"},
      {"cp ok.zip u.zip && chmod 755 . && chmod 000 u.zip", "l u.zip", 2, "Permission denied"},
      {"", "l --json p*.zip", 0, "p\\\\xFF.zip\""},
      {"", "l badcrc.rar", 1, "a file header fails its CRC check"},
      {"", "l past.rar", 1, "an entry's data runs past the end of the file"},
      {"printf hello > a.txt && tar cf full.tar a.txt && head -c 1024 full.tar > t.tar", "t t.tar", 1,
       "the archive ends without its end blocks"},
      {"", "l t.tar", 1, "the archive ends without its end blocks"},
      {"", "t cut.zoo", 1, "the archive ends inside its end entry"},
      {"", "l cut.zoo", 1, "the archive ends inside its end entry"},
      {"", "x win.zip -o w", 1, "\"C:\\\" cut, written as \"w/a.txt\""},
      {"", "x win.zip -o w2", 1, "\"\\\\srv\\s\\\" cut, written as \"b.txt\""},
      {"", "x win.zip -o w3", 1, "\"\\\\?\\C:\\\" cut, written as \"c.txt\""},
      {"ulimit -f 20", "x big.zip -o big", 1, "Error writing to file: File too large"},
  };
  for (const Case& c : cases) {
    std::string out;
    const bool unreadable = c.args == "l u.zip";
    if (unreadable && geteuid() == 0 && !testutil::HaveTool("setpriv")) continue;  // root reads everything
    const std::string prefix = unreadable ? asNobody : "";
    const int rc = testutil::Run("cd " + ShellQuote(tmp.path()) + " && " + (c.setup.empty() ? "" : c.setup + " && ") +
                                     "timeout 10 " + prefix + ShellQuote(testutil::CliPath()) + " " + c.args +
                                     " </dev/null 2>&1",
                                 &out);
    EXPECT_EQ(rc, c.rc) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.said), std::string::npos) << c.args << "\n" << out;
    EXPECT_EQ(out.find(c.notSaid), std::string::npos) << c.args << "\n" << out;
  }
  EXPECT_EQ(testutil::ReadFile(tmp.file("w/w/a.txt")), "a");
  EXPECT_EQ(testutil::ReadFile(tmp.file("w/b.txt")), "b");
  EXPECT_EQ(testutil::ReadFile(tmp.file("w/c.txt")), "c");
}
