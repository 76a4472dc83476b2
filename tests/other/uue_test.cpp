// UUE extraction: texts made by uuencode (both encodings, several files, CR LF
// lines) against the bytes they encode, the corpus samples against uudecode,
// and damaged texts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "engine/base/Err_Msgs.h"
#include "engine/other/zidUnUue.h"
#include "other_helpers.h"
#include "support/testutil.h"

using namespace othertest;
using testutil::ReadFile;
using testutil::ShellQuote;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::string Uuencode(const std::string& file, const std::string& name, bool base64) {
  std::string out;
  EXPECT_EQ(testutil::Run("uuencode " + std::string(base64 ? "-m " : "") + ShellQuote(file) + " " + ShellQuote(name),
                          &out),
            0);
  return out;
}

}  // namespace

TEST(UuePeer, EveryFileOfATextComesBackWithItsMode) {
  REQUIRE_TOOL("uuencode");
  TempDir d;
  const struct {
    const char* name;
    std::string data;
    bool base64;
    mode_t mode;
  } files[] = {
      {"random.bin", testutil::RandomBytes(70001, 1), false, 0755},
      {"text file.txt", testutil::TextBytes(3000, 2), true, 0600},
      {"empty", "", false, 0644},
      {"one", "x", true, 0644},
  };
  std::string text = "Some mail text before the first file.\n";
  for (const auto& f : files) {
    WriteFile(d.file("src"), f.data);
    chmod(d.file("src").c_str(), f.mode);
    text += Uuencode(d.file("src"), f.name, f.base64) + "\n-- \nsignature\n";
  }
  for (const bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CR LF" : "LF");
    std::string t = text;
    if (crlf)
      for (size_t p = 0; (p = t.find('\n', p)) != std::string::npos; p += 2) t.insert(p, "\r");
    WriteFile(d.file("a.uue"), t);
    const std::string out = d.file(crlf ? "crlf" : "lf");
    const Report r = Extract<zid::TUnUue>(d.file("a.uue"), out);
    EXPECT_TRUE(r.errors.empty()) << r.text;
    EXPECT_EQ(r.stats.passed, 4);
    const Listing l = List(d.file("a.uue"));
    ASSERT_EQ(l.entries.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(ReadFile(out + "/" + files[i].name), files[i].data) << files[i].name;
      EXPECT_EQ(std::filesystem::status(out + "/" + files[i].name).permissions(),
                static_cast<std::filesystem::perms>(files[i].mode));
      EXPECT_EQ(l.entries[i].name, files[i].name);
      EXPECT_EQ(l.entries[i].unpacked, static_cast<int64_t>(files[i].data.size()));
    }
  }
}

TEST(UueCorpus, EverySampleDecodesAsUudecodeDoes) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "no corpus";
  REQUIRE_TOOL("uudecode");
  int samples = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir + "/uue")) {
    if (entry.path().extension() != ".uue") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ++samples;
    TempDir d;
    ASSERT_EQ(testutil::Run("mkdir -p " + ShellQuote(d.file("peer")) + " && cd " + ShellQuote(d.file("peer")) +
                            " && uudecode " + ShellQuote(entry.path().string())),
              0);
    const Report r = Extract<zid::TUnUue>(entry.path().string(), d.file("ours"));
    EXPECT_TRUE(r.errors.empty()) << r.text;
    for (const auto& made : std::filesystem::recursive_directory_iterator(d.file("peer"))) {
      if (!made.is_regular_file()) continue;
      const std::string rel = std::filesystem::relative(made.path(), d.file("peer")).string();
      EXPECT_EQ(ReadFile(d.file("ours/" + rel)), ReadFile(made.path().string())) << rel;
    }
  }
  EXPECT_GE(samples, 5);
}

// Damage: the file fails and nothing of it is left; a climbing name stays inside.
TEST(UueHostile, DamagedTextsFailTheirFile) {
  const std::string good = "begin 644 a.txt\n#86)C\n`\nend\n";  // "abc"
  const struct {
    const char* what;
    std::string text;
    const char* file;
    int passed;
    int code;
  } cases[] = {
      {"good", good, "a.txt", 1, 0},
      {"no end line", "begin 644 a.txt\n#86)C\n", "a.txt", 0, zid::E_READERROR},
      {"a character outside the encoding", "begin 644 a.txt\n#86)~\n`\nend\n", "a.txt", 0, zid::E_BADBLOCK},
      {"base64 with a bad character", "begin-base64 644 a.txt\nYW*j\n====\n", "a.txt", 0, zid::E_BADBLOCK},
      {"a name that climbs: cut", "begin 644 ../../up.txt\n#86)C\n`\nend\n", "up.txt", 1, zid::E_BADFILENAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    WriteFile(d.file("x.uue"), c.text);
    const Report r = Extract<zid::TUnUue>(d.file("x.uue"), d.file("out"));
    EXPECT_EQ(r.stats.passed, c.passed) << r.text;
    if (c.code != 0) EXPECT_TRUE(r.Has(c.code)) << r.text;
    EXPECT_EQ(std::filesystem::exists(d.file("out/") + c.file), c.passed == 1);
    EXPECT_FALSE(std::filesystem::exists(d.file("up.txt")));
  }
}
