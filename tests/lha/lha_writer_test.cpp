// The LHA writer: archives the peers and our extractor restore byte for byte, the
// level-0 headers with their checksums, the store fallback, updates of
// existing archives (ours and other archivers' levels 1 and 2), and the
// encoder on inputs that stress its edge cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/base/zidCrc.h"
#include "engine/base/zidDecoder.h"
#include "engine/base/Err_Msgs.h"
#include "engine/lha/zidLhaPack.h"
#include "engine/lha/zidLzhMatch.h"
#include "engine/lha/zidLzh5.h"
#include "lha_writer_helpers.h"
#include "support/memory_decode.h"

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
  EXPECT_EQ(Extract(arc, tmp.file("mine")), 9);
  EXPECT_EQ(Files(tmp.file("mine")), Files(src));
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

// The encoder alone, with every parameter row, against the engine's own decoder.
TEST(LhaWriterEncoder, EveryParameterRowDecodesWithTheMatchingDecoderRow) {
  struct Row {
    TLzhEncodeParams enc;
    TLzhParams dec;
  };
  const Row rows[] = {{kLzhEncLh5, kLzhLh5}, {kLzhEncLh6, kLzhLh6}, {kLzhEncFused3, kLzhFused3}};
  const std::string inputs[] = {testutil::TextBytes(150000, 11) + testutil::RandomBytes(3000, 12) + Repetitive(70000),
                                std::string(1000, 'z'), "ab"};
  for (const Row& row : rows) {
    for (const std::string& in : inputs) {
      std::string packed;
      size_t at = 0;
      TLzhEncodeJob job;
      job.read = testutil::MemoryReader(in, at);
      job.write = [&](const uint8_t* buf, int64_t n) {
        packed.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
        return true;
      };
      TLzhEncoder enc(row.enc);
      ASSERT_EQ(enc.Encode(job), erOk);
      EXPECT_EQ(enc.BytesIn(), static_cast<int64_t>(in.size()));
      EXPECT_EQ(enc.BytesOut(), static_cast<int64_t>(packed.size()));
      const uint32_t crc = row.enc.crcKind == ckCrc32 ? Crc32Of(in.data(), static_cast<int64_t>(in.size()))
                                                      : Crc16Of(in.data(), static_cast<int64_t>(in.size()));
      EXPECT_EQ(enc.Crc(), crc);

      const testutil::Decoded d = testutil::Decode([&](const TDecodeJob& dj) { return LzhDecode(dj, row.dec); },
                                                   packed, static_cast<int64_t>(in.size()));
      EXPECT_EQ(d.result, drOk);
      EXPECT_TRUE(d.out == in) << "dicBit " << row.enc.dicBit << ", " << in.size() << " bytes";
    }
  }
}

// Random bytes do not shrink: the encoder says so instead of producing more than it read.
TEST(LhaWriterEncoder, IncompressibleInputIsReportedUnpackable) {
  const std::string in = testutil::RandomBytes(100000, 5);
  size_t at = 0;
  int64_t written = 0;
  TLzhEncodeJob job;
  job.read = testutil::MemoryReader(in, at);
  job.write = [&](const uint8_t*, int64_t n) {
    written += n;
    return true;
  };
  job.limit = static_cast<int64_t>(in.size());
  TLzhEncoder enc(kLzhEncLh5);
  EXPECT_EQ(enc.Encode(job), erUnpackable);
  EXPECT_LT(written, job.limit);
}

// Other archivers' archives (levels 0 to 3, a self-extractor): a file is added,
// and everything before it stays as it was, byte for byte. One whose header
// checksum does not hold is left alone.
TEST(LhaWriterUpdate, AddingToPeerArchivesKeepsTheirEntriesByteForByte) {
  const std::string corpus = testutil::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    bool readable;
    bool sfx = false;
    const char* skipPeer = "";
  };
  const Case cases[] = {
      {"explzh_723__h0_lh5.lzh", true},          {"explzh_723__h1_lh6.lzh", true},
      {"explzh_723__h2_lh7.lzh", true},          {"explzh_723__h2_subdir.lzh", true},
      {"explzh_723__declha_sfx_ansi.exe", true, true}, {"lh2_222__eas.lzh", true},
      {"lha_unix114i__h0_lh6.lzh", true},        {"lha_os2_208__h3_lh5.lzh", true, false, "7zz"},  // 7-Zip reads no level 3
      {"explzh_723__h1_lh6.lzh", false},  // its header checksum spoilt below: left alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string orig = corpus + "/lha/" + c.file;
    if (!std::filesystem::exists(orig)) continue;
    testutil::TempDir tmp;
    const std::string arc = tmp.file(c.file);
    std::filesystem::copy_file(orig, arc);
    std::filesystem::permissions(arc, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    std::string before = testutil::ReadFile(orig);
    if (!c.readable) {
      before[1] = static_cast<char>(before[1] + 1);
      testutil::WriteFile(arc, before);
    }
    testutil::WriteFile(tmp.file("added.txt"), testutil::TextBytes(20000, 6));
    TLha w;
    std::vector<int> errors;
    Quiet(w, &errors);
    w.SetCompressMethod(cmFrozen5);
    w.FileSpec = {tmp.file("added.txt")};
    w.SetArchiveFile(arc);
    if (!c.readable) {
      EXPECT_EQ(w.Compress(), 0);
      EXPECT_EQ(errors, std::vector<int>{E_BADFILEHEADER});
      EXPECT_TRUE(testutil::ReadFile(arc) == before);
      continue;
    }
    EXPECT_EQ(w.Compress(), 1);
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
    const std::string after = testutil::ReadFile(arc);
    const size_t added = after.find("added.txt");
    ASSERT_NE(added, std::string::npos);
    const size_t head = added - 22;
    EXPECT_TRUE(after.substr(0, head) == before.substr(0, head));
    EXPECT_EQ(PeerTests(arc, c.skipPeer), "");
    // lhasa does not find the archive inside this self-extractor (7-Zip does).
    if (testutil::HaveTool("lhasa") && !c.sfx) {
      std::string log;
      EXPECT_EQ(PeerExtract("lhasa", arc, tmp.file("x"), &log), 0) << log;
      EXPECT_TRUE(testutil::ReadFile(tmp.file("x/added.txt")) == testutil::ReadFile(tmp.file("added.txt")));
    }
  }
}

// Unchanged add, refresh, delete, rename of a kept entry and swRead on one of our archives.
TEST(LhaWriterUpdate, SwitchesRewriteOnlyWhatTheyConcern) {
  namespace fs = std::filesystem;
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  fs::create_directories(src);
  const std::string a0 = testutil::TextBytes(30000, 1), b0 = testutil::TextBytes(20000, 2);
  testutil::WriteFile(src + "/a.txt", a0);
  testutil::WriteFile(src + "/b.txt", b0);
  testutil::WriteFile(src + "/c.bin", testutil::RandomBytes(5000, 3));
  const std::string arc = tmp.file("u.lzh");
  auto names = [&] {
    std::vector<std::string> n;
    for (const Header& h : Headers(arc)) n.push_back(h.name);
    return n;
  };
  auto touch = [&](const std::string& file, const std::string& data) {
    testutil::WriteFile(file, data);
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1));
  };
  TLha w;
  std::vector<int> errors;
  Quiet(w, &errors);
  ASSERT_EQ(Build(w, arc, src), 3);
  const std::string first = testutil::ReadFile(arc);

  EXPECT_EQ(Build(w, arc, src), 0);  // nothing changed: nothing written
  EXPECT_TRUE(testutil::ReadFile(arc) == first);

  const std::string b1 = testutil::TextBytes(25000, 4);
  touch(src + "/b.txt", b1);
  testutil::WriteFile(src + "/d.txt", "new");
  w.Switch = swRefresh;  // only the changed file is compressed again; new ones are not added
  EXPECT_EQ(Build(w, arc, src), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt", "c.bin"}));

  w.Switch = swDelete;
  w.FileSpec = {"c.bin"};
  w.SetArchiveFile(arc);
  EXPECT_EQ(w.Compress(), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"a.txt", "b.txt"}));

  // A changed a.txt that may not replace its entry: the old one is kept as a-old.txt.
  const std::string a1 = testutil::TextBytes(1000, 5);
  touch(src + "/a.txt", a1);
  fs::remove(src + "/d.txt");
  fs::remove(src + "/c.bin");
  w.Switch = swAdd;
  w.OnReplaceFile = [](TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t, int64_t,
                       uint32_t, uint32_t, bool& replace) { replace = false; };
  w.OnRenameDupeFile = [](TZipCommon*, const std::string&, std::string& newName, bool& rename) {
    newName = "old/a-old.txt";
    rename = true;
  };
  EXPECT_EQ(Build(w, arc, src), 1);
  EXPECT_EQ(names(), (std::vector<std::string>{"old\\a-old.txt", "b.txt", "a.txt"}));
  for (const Header& h : Headers(arc)) EXPECT_TRUE(h.checksumOk) << h.name;
  EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
  EXPECT_EQ(PeerTests(arc), "");
  if (testutil::HaveTool("lhasa")) {
    std::string log;
    EXPECT_EQ(PeerExtract("lhasa", arc, tmp.file("x"), &log), 0) << log;
    EXPECT_TRUE(testutil::ReadFile(tmp.file("x/old/a-old.txt")) == a0);
    EXPECT_TRUE(testutil::ReadFile(tmp.file("x/a.txt")) == a1);
    EXPECT_TRUE(testutil::ReadFile(tmp.file("x/b.txt")) == b1);
  }

  // Deleting everything leaves the end mark alone, an archive that takes files again.
  TLha e;
  Quiet(e, &errors);
  e.Switch = swDelete;
  e.FileSpec = {"*"};
  e.SetArchiveFile(arc);
  const std::string kept = testutil::ReadFile(arc);
  EXPECT_EQ(e.Compress(), 3);
  EXPECT_EQ(testutil::ReadFile(arc), std::string(1, '\0'));
  e.Switch = swAdd;
  EXPECT_EQ(Build(e, arc, src), 2);
  EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
  testutil::WriteFile(arc, kept);

  TLha r;
  r.Switch = swRead;
  std::vector<std::string> read;
  r.OnRead = [&read](TZipCommon* s, int64_t, int index) {
    read.push_back(std::to_string(index) + " " + s->FileName + " " + s->MethodName + " " +
                   std::to_string(s->UnpackedSize));
  };
  r.SetArchiveFile(arc);
  r.Compress();
  EXPECT_EQ(read, (std::vector<std::string>{"0 old/a-old.txt Frozen-6 30000", "1 b.txt Frozen-6 25000",
                                            "2 a.txt Frozen-6 1000"}));
}

// A renamed level-2 entry is written again under a level-0 header; its data stays as it was.
TEST(LhaWriterUpdate, RenamedLevelTwoEntryBecomesLevelZero) {
  REQUIRE_TOOL("lhasa");
  const std::string orig = testutil::CorpusDir() + "/lha/explzh_723__h2_lh7.lzh";
  if (testutil::CorpusDir().empty() || !std::filesystem::exists(orig)) GTEST_SKIP() << "no corpus";
  testutil::TempDir tmp;
  std::string log;
  ASSERT_EQ(PeerExtract("lhasa", orig, tmp.file("before"), &log), 0) << log;
  const std::string arc = tmp.file("h2.lzh");
  std::filesystem::copy_file(orig, arc);
  std::filesystem::permissions(arc, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  std::filesystem::create_directories(tmp.file("src"));
  testutil::WriteFile(tmp.file("src/gpl-2"), "a different gpl-2\n");
  TLha w;
  Quiet(w);
  w.OnReplaceFile = [](TZipCommon*, const std::string&, const std::string&, uint32_t, uint32_t, int64_t, int64_t,
                       uint32_t, uint32_t, bool& replace) { replace = false; };
  w.OnRenameDupeFile = [](TZipCommon*, const std::string&, std::string& newName, bool& rename) {
    newName = "gpl-2.orig";
    rename = true;
  };
  EXPECT_EQ(Build(w, arc, tmp.file("src")), 1);
  const std::vector<Header> hs = Headers(arc);
  ASSERT_EQ(hs.size(), 2u);
  EXPECT_EQ(hs[0].name, "gpl-2.orig");
  EXPECT_EQ(hs[0].method, "-lh7-");
  EXPECT_TRUE(hs[0].checksumOk);
  // Level 2 keeps a Unix time whatever its OS id: it becomes the DOS date of 2010 that lhasa shows.
  EXPECT_EQ((hs[0].stamp >> 25) + 1980, 2010u);
  EXPECT_EQ(PeerTests(arc), "");
  ASSERT_EQ(PeerExtract("lhasa", arc, tmp.file("after"), &log), 0) << log;
  EXPECT_TRUE(testutil::ReadFile(tmp.file("after/gpl-2.orig")) == testutil::ReadFile(tmp.file("before/gpl-2")));
  EXPECT_EQ(testutil::ReadFile(tmp.file("after/gpl-2")), "a different gpl-2\n");
}

// Names a level-0 header cannot hold and sizes past 32 bits are refused by
// name before anything is written; without them the rest is written, and a
// cancel leaves no archive.
TEST(LhaWriterEdges, WhatLevelZeroCannotHoldIsRefusedAndCancelLeavesNothing) {
  namespace fs = std::filesystem;
  testutil::TempDir tmp;
  const std::string src = tmp.file("src");
  fs::create_directories(src);
  const std::string fits(221, 'f');     // the longest name with the Unix extension
  const std::string plain(233, 'p');    // the longest name at all
  const std::string tooLong(234, 'x');
  testutil::WriteFile(src + "/" + fits, "fits");
  testutil::WriteFile(src + "/" + plain, "no room for the Unix extension");
  testutil::WriteFile(src + "/" + tooLong, "too long");
  testutil::WriteFile(src + "/huge.bin", "");
  fs::resize_file(src + "/huge.bin", (uintmax_t{1} << 32) + 1);  // sparse: nothing is read
  TLha w;
  std::vector<int> errors;
  Quiet(w, &errors);
  const std::string arc = tmp.file("edge.lzh");
  EXPECT_EQ(Build(w, arc, src), 0);
  EXPECT_EQ(errors, (std::vector<int>{E_FORMATLIMIT, E_FORMATLIMIT}));
  EXPECT_FALSE(fs::exists(arc));
  fs::remove(src + "/" + tooLong);
  fs::remove(src + "/huge.bin");
  errors.clear();
  EXPECT_EQ(Build(w, arc, src), 2);
  EXPECT_TRUE(errors.empty());
  const std::vector<Header> hs = Headers(arc);
  ASSERT_EQ(hs.size(), 2u);
  for (const Header& h : hs) {
    EXPECT_TRUE(h.checksumOk);
    EXPECT_EQ(h.size, h.name.size() + (h.name == fits ? 36 : 24));
  }
  EXPECT_EQ(PeerTests(arc), "");

  // Cancelled while compressing: the write loop drops the archive it was building.
  testutil::WriteFile(src + "/big.txt", testutil::TextBytes(3000000, 9));
  const std::string arc2 = tmp.file("cancelled.lzh");
  w.OnProgress = [](TZipCommon* s, uint8_t byFile, uint8_t) {
    if (byFile > 10) s->SetCancel(true);
  };
  EXPECT_EQ(Build(w, arc2, src), 0);
  EXPECT_FALSE(fs::exists(arc2));
}

// Positions are renumbered before they pass 32 bits (after 3 GiB of input):
// across that point the match finder finds exactly what it finds elsewhere.
TEST(LhaWriterEncoder, MatchFinderIsUnchangedAcrossRenumbering) {
  const std::string data = testutil::TextBytes(400000, 21) + Repetitive(100000) + testutil::RandomBytes(200000, 23) +
                           testutil::TextBytes(100000, 22);
  auto run = [&data](uint32_t start) {
    size_t at = 0;
    TLzhMatchFinder mf(13, [&](uint8_t* buf, int64_t count) {
      const size_t n = std::min<size_t>(static_cast<size_t>(count), data.size() - at);
      std::copy_n(data.data() + at, n, reinterpret_cast<char*>(buf));
      at += n;
      return static_cast<int64_t>(n);
    }, start);
    std::vector<uint32_t> found;
    while (mf.Fill()) {
      uint32_t dist = 0;
      const uint32_t len = mf.Next(dist);
      found.push_back(len << 16 | dist);
    }
    return found;
  };
  const std::vector<uint32_t> plain = run(0);
  EXPECT_EQ(plain.size(), data.size());
  EXPECT_TRUE(run(TLzhMatchFinder::kRenumberAt - 300000) == plain);
}

// Files compressed ahead by worker threads make the archive, byte for byte,
// that the loop makes alone, and the peers read it.
TEST(LhaWriterWorkers, OneAndThreeWorkersWriteTheSameArchive) {
  testutil::TempDir tmp;
  const std::string src = MakeTree(tmp);
  for (int i = 0; i < 12; ++i)
    testutil::WriteFile(src + "/many/f" + std::to_string(i) + ".txt", testutil::TextBytes(i * 9000 + 17, i));
  for (const Method& m : {kMethods[1], kMethods[2]}) {
    auto build = [&](int workers, const std::string& arc) {
      TLha w;
      Quiet(w);
      w.SetCompressMethod(m.method);
      w.CompressWorkers = workers;
      return Build(w, arc, src);
    };
    const std::string one = tmp.file(std::string("one-") + m.label + ".lzh");
    const std::string three = tmp.file(std::string("three-") + m.label + ".lzh");
    const int n = build(1, one);
    EXPECT_EQ(build(3, three), n);
    EXPECT_EQ(testutil::ReadFile(one), testutil::ReadFile(three)) << m.label;
    EXPECT_EQ(PeerTests(three), "");
  }
}
