// The single-stream filters against the tools that write them: tar over every
// filter (read as a stream, nothing but the members left behind), the files
// alone and concatenated, GNU sparse members in each of tar's forms, and
// names with a backslash.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnTar.h"
#include "gztar_helpers.h"

namespace {

using namespace gztartest;
using othertest::Extract;
using othertest::Report;
using testutil::ShellQuote;

// The tree every tar here holds: a long name, deep folders, binary data, a
// sparse file and a name with a backslash (one name on Unix).
std::string MakeTree(const testutil::TempDir& t) {
  const std::string src = t.file("src");
  std::filesystem::create_directories(src + "/a/b/c");
  testutil::WriteFile(src + "/" + std::string(150, 'n') + ".txt", "long name\n");
  testutil::WriteFile(src + "/a/b/c/deep.bin", testutil::RandomBytes(200000, 7));
  testutil::WriteFile(src + "/back\\slash.txt", "one name\n");
  {
    std::ofstream sparse(src + "/holes.bin", std::ios::binary);
    sparse.seekp(1 << 20);
    sparse << "middle";
    sparse.seekp(3 << 20);
    sparse << "end";
  }
  std::filesystem::resize_file(src + "/holes.bin", 4 << 20);  // and a hole at the end
  return src;
}

Report UnFilter(const std::string& archive, const std::string& dir) {
  return Extract<zid::TUnGZip>(archive, dir, [](zid::TUnGZip& g) {
    g.CreateStoredDirs = true;
    g.OnNestedTarFile = [](zid::TZipCommon*, const std::string&, bool& doUnTar) { doUnTar = true; };
  });
}

struct Filter {
  const char* tool;
  const char* tarFlag;  // how tar is told to use it
  const char* ext;
  const char* alone;    // the tool's command compressing file f to f<ext>, keeping f
};
const Filter kFilters[] = {
    {"gzip", "-z", ".tar.gz", "gzip -kn f"},        {"compress", "-Z", ".tar.Z", "compress -c f > f.Z"},
    {"xz", "-J", ".tar.xz", "xz -k f"},            {"bzip2", "-j", ".tar.bz2", "bzip2 -k f"},
    {"zstd", "--zstd", ".tar.zst", "zstd -q f"},   {"lz4", "-I lz4", ".tar.lz4", "lz4 -q f f.lz4"},
};

// tar over each filter: the members extract byte-exact with nothing else
// beside them, list with their sizes and pass a test.
TEST(Filters, TarOverEveryFilter) {
  REQUIRE_TOOL("tar");
  testutil::TempDir t;
  const std::string src = MakeTree(t);
  const auto want = FilesBelow(src);
  for (const Filter& f : kFilters) {
    SCOPED_TRACE(f.ext);
    if (!testutil::HaveTool(f.tool)) continue;
    const std::string archive = t.file(std::string("t") + f.ext);
    // compress ends with 2 when its output is no smaller, which the random data make it.
    const int made = testutil::Run("tar -cS " + std::string(f.tarFlag) + " -f " + ShellQuote(archive) + " -C " +
                                   ShellQuote(src) + " . 2>/dev/null");
    ASSERT_TRUE(made == 0 || (made == 2 && std::string(f.tool) == "compress")) << made;
    const std::string out = t.file(std::string("out") + f.ext);
    const Report r = UnFilter(archive, out);
    EXPECT_TRUE(r.errors.empty()) << r.text;
    EXPECT_TRUE(FilesBelow(out) == want);
    EXPECT_EQ(r.stats.extracted, static_cast<int>(want.size()));

    const othertest::Listing l = othertest::List(archive);
    EXPECT_EQ(l.totalFiles, static_cast<int>(want.size()));
    for (const othertest::Listed& e : l.entries) {
      auto it = want.find(e.name.substr(e.name.rfind("./", 0) == 0 ? 2 : 0));
      ASSERT_NE(it, want.end()) << e.name;
      EXPECT_EQ(e.unpacked, static_cast<int64_t>(it->second.size())) << e.name;
    }
    const Report test = UnFilter(archive, "");
    EXPECT_EQ(test.stats.passed, static_cast<int>(want.size()) + 3) << test.text;  // and the three folders
    EXPECT_EQ(test.stats.failed, 0);
  }
}

// Each filter alone gives the file without its extension; streams written
// one after another decode as one, and list as their sum.
TEST(Filters, FilesAloneAndConcatenated) {
  testutil::TempDir t;
  const std::string content = testutil::TextBytes(100000, 3);
  for (const Filter& f : kFilters) {
    SCOPED_TRACE(f.tool);
    if (!testutil::HaveTool(f.tool)) continue;
    const std::string dir = t.file(f.tool);
    std::filesystem::create_directories(dir);
    testutil::WriteFile(dir + "/f", content);
    ASSERT_EQ(testutil::Run("cd " + ShellQuote(dir) + " && " + f.alone), 0);
    const std::string packed = std::string(f.ext).substr(4);  // ".gz"
    const std::string one = testutil::ReadFile(dir + "/f" + packed);
    const bool concatenates = std::string(f.tool) != "compress";
    const std::string archive = dir + "/x.txt" + packed;
    testutil::WriteFile(archive, concatenates ? one + one : one);
    const std::string expect = concatenates ? content + content : content;
    const Report r = UnFilter(archive, dir + "/out");
    EXPECT_TRUE(r.errors.empty()) << r.text;
    const auto got = FilesBelow(dir + "/out");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got.begin()->first, "x.txt");
    EXPECT_TRUE(got.begin()->second == expect);
    const othertest::Listing l = othertest::List(archive);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].unpacked, static_cast<int64_t>(expect.size()));
    // Cut short, the data end with an error, never a clean entry.
    testutil::WriteFile(archive, one.substr(0, one.size() * 2 / 3));
    if (std::string(f.tool) != "compress") {
      EXPECT_EQ(UnFilter(archive, "").stats.failed, 1);
    }
  }
}

// GNU sparse members in every form tar writes: holes back as zeros, listed
// with their full size and their stored pieces as the packed size.
TEST(Tar, SparseForms) {
  REQUIRE_TOOL("tar");
  testutil::TempDir t;
  const std::string src = MakeTree(t);
  const std::string holes = testutil::ReadFile(src + "/holes.bin");
  const std::vector<std::string> forms = {"--format=gnu", "--format=pax --sparse-version=0.0",
                                          "--format=pax --sparse-version=0.1", "--format=pax --sparse-version=1.0"};
  for (const std::string& form : forms) {
    SCOPED_TRACE(form);
    const std::string archive = t.file("s.tar");
    ASSERT_EQ(testutil::Run("tar -cS " + form + " -f " + ShellQuote(archive) + " -C " + ShellQuote(src) +
                            " holes.bin"),
              0);
    const std::string out = t.file("sparse-out");
    std::filesystem::remove_all(out);
    const Report r = Extract<zid::TUnTar>(archive, out);
    EXPECT_TRUE(r.errors.empty()) << r.text;
    EXPECT_TRUE(testutil::ReadFile(out + "/holes.bin") == holes);
    // Where the file system keeps holes (it kept those of the source), the output has them too.
    struct stat a{}, b{};
    ASSERT_EQ(stat((src + "/holes.bin").c_str(), &a), 0);
    ASSERT_EQ(stat((out + "/holes.bin").c_str(), &b), 0);
    if (a.st_blocks * 512 < a.st_size) {
      EXPECT_LT(b.st_blocks * 512, b.st_size);
    }
    const othertest::Listing l = othertest::List(archive);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].unpacked, static_cast<int64_t>(holes.size()));
    EXPECT_LT(l.entries[0].packed, 65536);
  }
}

}  // namespace
