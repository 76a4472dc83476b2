// zefa a x.tar / .tar.gz / .tar.xz / .tar.zst: GNU tar and bsdtar extract
// what zefa wrote byte-exact with the modes and times, long names and a time
// past ustar's range (pax); a plain tar is added to, a compressed one is not.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <map>

#include "support/testutil.h"

namespace fs = std::filesystem;
using testutil::ShellQuote;

namespace {

std::string Zefa(const std::string& args) { return ShellQuote(testutil::CliPath()) + " " + args; }

struct Meta {
  std::string data;
  unsigned mode;
  int64_t mtime;
  bool operator==(const Meta&) const = default;
};

std::map<std::string, Meta> Files(const std::string& root) {
  std::map<std::string, Meta> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    struct stat st {};
    stat(e.path().c_str(), &st);
    out[fs::relative(e.path(), root).generic_string()] = {testutil::ReadFile(e.path()), st.st_mode & 07777u,
                                                          static_cast<int64_t>(st.st_mtime)};
  }
  return out;
}

void Put(const std::string& path, const std::string& data, unsigned mode, int64_t mtime) {
  fs::create_directories(fs::path(path).parent_path());
  testutil::WriteFile(path, data);
  chmod(path.c_str(), mode);
  struct utimbuf t {static_cast<time_t>(mtime), static_cast<time_t>(mtime)};
  utime(path.c_str(), &t);
}

// Text, random bytes, an executable, a folder path past 100 bytes that ustar
// splits, a 130-byte name it cannot, and a time past 11 octal digits.
void MakeTree(const std::string& d) {
  Put(d + "/a.txt", testutil::TextBytes(50000, 1), 0644, 1500000000);
  Put(d + "/run.sh", "#!/bin/sh\n", 0755, 1600000000);
  Put(d + "/secret.bin", testutil::RandomBytes(30000, 2), 0600, 1400000000);
  Put(d + "/" + std::string(60, 'd') + "/" + std::string(60, 'e') + "/split.txt", "split", 0644, 1500000001);
  Put(d + "/" + std::string(130, 'n') + ".txt", "long", 0640, 1500000002);
  Put(d + "/future.txt", "future", 0644, 10000000000LL);
}

}  // namespace

TEST(TarWriter, PeersExtractWhatZefaWrites) {
  REQUIRE_TOOL("tar");
  REQUIRE_TOOL("bsdtar");
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  MakeTree(src);
  const auto want = Files(src);
  struct Case {
    const char* name;
    const char* level;
  } cases[] = {{"t.tar", "normal"}, {"t.tar.gz", "max"}, {"t.tgz", "fast"}, {"t.tar.xz", "normal"},
               {"t.tar.zst", "normal"}};
  for (const auto& c : cases) {
    const std::string arc = tmp.file(c.name);
    std::string said;
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(src) + " && " + Zefa("a " + ShellQuote(arc) + " . -r --level " + c.level),
                            &said), 0) << c.name << said;
    for (const char* peer : {"tar --no-same-owner -xf", "bsdtar -xf"}) {
      const std::string out = tmp.file(std::string("x-") + c.name + "-" + peer[0]);
      fs::create_directories(out);
      ASSERT_EQ(testutil::Run("cd " + ShellQuote(out) + " && " + peer + " " + ShellQuote(arc), &said), 0)
          << c.name << " " << peer << said;
      EXPECT_EQ(Files(out), want) << c.name << " " << peer;
    }
  }
}

TEST(TarWriter, PlainTarIsAddedToCompressedOneIsNot) {
  testutil::TempDir tmp;
  testutil::WriteFile(tmp.file("one"), "1");
  testutil::WriteFile(tmp.file("two"), "2");
  const std::string cd = "cd " + ShellQuote(tmp.path()) + " && ";
  std::string said;
  ASSERT_EQ(testutil::Run(cd + Zefa("a t.tar one") + " && " + Zefa("a t.tar two"), &said), 0) << said;
  ASSERT_EQ(testutil::Run(cd + "tar tf t.tar", &said), 0);
  EXPECT_EQ(said, "one\ntwo\n");
  ASSERT_EQ(testutil::Run(cd + Zefa("a t.tar.gz one"), &said), 0) << said;
  EXPECT_NE(testutil::Run(cd + Zefa("a t.tar.gz two"), &said), 0);
  EXPECT_NE(said.find("cannot update a compressed tar"), std::string::npos) << said;
  ASSERT_EQ(testutil::Run(cd + "tar tzf t.tar.gz", &said), 0);
  EXPECT_EQ(said, "one\n");
}
