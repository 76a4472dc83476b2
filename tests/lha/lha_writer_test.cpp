// The LHA writer: archives the peers accept and extract byte for byte, the
// level-0 headers with their checksums, the store fallback, updates of
// existing archives (ours and other archivers' levels 1 and 2), and the
// encoder on inputs that stress its edge cases.
#include <gtest/gtest.h>

#include <filesystem>

#include "lha_writer_helpers.h"

using namespace zid;
using namespace lhatest;

namespace {

struct Method {
  const char* label;
  TCompressMethod method;
  const char* id;  // written for compressible files
};

const Method kMethods[] = {{"store", cmStore, "-lh0-"}, {"lh5", cmFrozen5, "-lh5-"}, {"lh6", cmFrozen6, "-lh6-"}};

}  // namespace

class LhaWriterMethods : public ::testing::TestWithParam<Method> {};

TEST_P(LhaWriterMethods, HeadersAreLevelZeroAndPeersRestoreEveryByte) {
  const Method& m = GetParam();
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  const std::string arc = tmp.file("out.lzh");
  TLha w;
  Quiet(w);
  w.SetCompressMethod(m.method);
  w.StoreEmptySubDirs = true;
  EXPECT_EQ(Build(w, arc, src), 9);  // eight files and the empty folder

  const std::vector<Header> hs = Headers(arc);
  ASSERT_EQ(hs.size(), 9u);
  int64_t end = 0;
  for (const Header& h : hs) {
    EXPECT_TRUE(h.checksumOk) << h.name;
    EXPECT_EQ(h.level, 0) << h.name;
    end = h.offset + static_cast<int64_t>(h.size) + h.packed;
  }
  // Nothing but the end mark after the last entry: no trace of abandoned data.
  EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(arc)), end + 1);

  struct Expect {
    const char* name;
    const char* method;
  };
  const Expect expects[] = {{"zero.dat", "-lh0-"},  {"one.txt", "-lh0-"},     {"random.bin", "-lh0-"},
                            {"notes.zip", "-lh0-"}, {"text.txt", m.id},       {"repeat.txt", m.id},
                            {"sub\\deeper\\d.txt", m.method == cmStore ? "-lh0-" : nullptr},
                            {"empty\\", "-lhd-"}};
  for (const Expect& e : expects) {
    const Header* h = Find(hs, e.name);
    ASSERT_NE(h, nullptr) << e.name;
    if (e.method) {
      EXPECT_EQ(h->method, e.method) << e.name;
    }
    if (h->method == "-lh0-") {
      EXPECT_EQ(h->packed, h->original) << e.name;
    }
  }
  EXPECT_EQ(Find(hs, "zero.dat")->crc, 0);
  EXPECT_EQ(Find(hs, "empty\\")->attr, 0x10);
  EXPECT_NE(Find(hs, "sub\\caf\xC3\xA9 \xE2\x82\xAC.txt"), nullptr);  // UTF-8 bytes as they are

  EXPECT_EQ(PeerTests(arc), "");
  for (const char* tool : {"lhasa", "7zz"}) {
    if (!testutil::HaveTool(tool)) continue;
    std::string log;
    const std::string dir = tmp.file(std::string("peer-") + tool);
    EXPECT_EQ(PeerExtract(tool, arc, dir, &log), 0) << log;
    EXPECT_EQ(Files(dir), Files(src)) << tool;
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/empty")) << tool;
  }
}

INSTANTIATE_TEST_SUITE_P(All, LhaWriterMethods, ::testing::ValuesIn(kMethods),
                         [](const auto& info) { return std::string(info.param.label); });

// Inputs at the encoder's edges, each written as -lh5- and -lh6- and restored by lhasa.
TEST(LhaWriterEncoder, EdgeInputsRoundTripThroughLhasa) {
  REQUIRE_TOOL("lhasa");
  std::string period;  // a 4 KiB block seen again 4 KiB, 8 KiB and 16 KiB - 1 later
  const std::string block = testutil::RandomBytes(4096, 7);
  period = block + block + testutil::RandomBytes(4096, 8) + block + testutil::RandomBytes(16383 - 4096 * 2, 9) +
           block + testutil::RandomBytes(100, 10) + block;
  std::string twoSymbols;
  for (int i = 0; i < 70000; ++i) twoSymbols += (i * 7919 % 13) < 6 ? 'a' : 'b';
  const std::pair<const char*, std::string> inputs[] = {
      {"run.bin", std::string(300000, '\0')},  // one literal/length code per block
      {"two.bin", twoSymbols},
      {"period.bin", period},
      {"mixed.bin", testutil::TextBytes(100000, 3) + testutil::RandomBytes(40000, 4) + Repetitive(90000)},
      {"short.txt", "abcabcabcabcabcabcabcabcabc"},
  };
  for (const Method& m : {kMethods[1], kMethods[2]}) {
    testutil::TempDir tmp;
    const std::string src = tmp.file("src");
    std::filesystem::create_directories(src);
    for (const auto& [name, data] : inputs) testutil::WriteFile(src + "/" + name, data);
    TLha w;
    Quiet(w);
    w.SetCompressMethod(m.method);
    const std::string arc = tmp.file("edge.lzh");
    EXPECT_EQ(Build(w, arc, src), 5);
    for (const Header& h : Headers(arc)) EXPECT_EQ(h.method, m.id) << h.name;
    std::string log;
    EXPECT_EQ(PeerExtract("lhasa", arc, tmp.file("out"), &log), 0) << log;
    EXPECT_EQ(Files(tmp.file("out")), Files(src)) << m.label;
    EXPECT_EQ(PeerTests(arc), "");
  }
}
