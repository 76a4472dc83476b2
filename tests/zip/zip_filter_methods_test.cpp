// ZIP's methods read through the filter libraries (12 BZip2, 14 LZMA, 93
// Zstandard, 95 XZ), and the backslash in names by the host that made them.
#include <zstd.h>

#include "zip_fixture.h"

namespace {

using namespace ziptest;
using testutil::ShellQuote;

// 7zz writes 12, 14 and 95; it has no Zstandard, so 93 is made here with
// libzstd into a hand-built archive.
TEST(ZipMethods, FilterMethodsExtractByteExact) {
  testutil::TempDir t;
  const std::string text = testutil::TextBytes(150000, 9);
  const std::string bin = testutil::RandomBytes(20000, 9) + std::string(50000, 'z');
  testutil::WriteFile(t.file("in/text.txt"), text);
  testutil::WriteFile(t.file("in/bin.dat"), bin);
  struct Case {
    const char* method;
    uint16_t id;
  };
  for (const Case c : {Case{"BZip2", 12}, Case{"LZMA", 14}, Case{"XZ", 95}, Case{"ZSTD", 93}}) {
    SCOPED_TRACE(c.method);
    const std::string arc = t.file(std::string(c.method) + ".zip");
    if (c.id == 93) {
      std::vector<Entry> entries;
      for (const auto& [name, data] : {std::pair{"text.txt", text}, std::pair{"bin.dat", bin}}) {
        Entry e = Plain(name, data);
        std::string z(ZSTD_compressBound(data.size()), '\0');
        z.resize(ZSTD_compress(z.data(), z.size(), data.data(), data.size(), 3));
        e.data = z;
        e.method = 93;
        entries.push_back(e);
      }
      testutil::WriteFile(arc, Build(entries));
    } else {
      if (!testutil::HaveTool("7zz")) continue;
      ASSERT_EQ(testutil::Run("cd " + ShellQuote(t.file("in")) + " && 7zz a -bd -tzip -mm=" + c.method + " " +
                              ShellQuote(arc) + " . > /dev/null"),
                0);
      const auto methods = ReadCentral(arc);
      ASSERT_EQ(methods.size(), 2u);
      for (const Central& e : methods) EXPECT_EQ(e.method, c.id) << e.name;
    }
    const std::string out = t.file(std::string("out-") + c.method);
    const Report r = Extract(arc, out);
    EXPECT_TRUE(r.codes.empty());
    EXPECT_EQ(r.stats.passed, 2);
    EXPECT_TRUE(testutil::ReadFile(out + "/text.txt") == text);
    EXPECT_TRUE(testutil::ReadFile(out + "/bin.dat") == bin);
  }
}

// A backslash is a character of the name from a Unix host (made-by host 3,
// as Info-ZIP on Linux writes), a folder separator from DOS.
TEST(ZipNames, BackslashByHost) {
  testutil::TempDir t;
  Entry unix = Plain("back\\slash.txt", "unix\n");
  unix.versionMadeBy = 0x0314;
  Entry dos = Plain("dir\\file.txt", "dos\n");
  testutil::WriteFile(t.file("a.zip"), Build({unix, dos}));
  const Report r = Extract(t.file("a.zip"), t.file("out"));
  EXPECT_EQ(r.stats.passed, 2);
  EXPECT_EQ(testutil::ReadFile(t.file("out/back\\slash.txt")), "unix\n");
  EXPECT_EQ(testutil::ReadFile(t.file("out/dir/file.txt")), "dos\n");
}

}  // namespace
