// The decoders of the old PKZIP methods: explode (6), unshrink (1) and
// unreduce (2-5), over the corpus samples and hand-made hostile streams.
#include <gtest/gtest.h>

#include "zip_fixture.h"
#include "engine/zip/zidExplode.h"
#include "engine/zip/zidUnreduce.h"
#include "engine/zip/zidUnshrink.h"

using ziptest::BitWriter;
using ziptest::Decode;

namespace {

// Decodes every entry of a corpus archive with the given method through `fn`
// and checks size and CRC; returns how many entries it decoded.
int DecodeCorpus(const std::string& name, const std::function<int(const ziptest::ZipEntry&, const zid::TDecodeJob&)>& fn,
                 const std::function<bool(uint16_t)>& wanted) {
  std::string path = ziptest::CorpusZip(name);
  int decoded = 0;
  for (const auto& e : ziptest::ReadZip(path)) {
    if (!wanted(e.method)) continue;
    auto d = Decode([&](const zid::TDecodeJob& j) { return fn(e, j); }, e.data, static_cast<int64_t>(e.usize));
    EXPECT_EQ(d.result, zid::drOk) << name << ": " << e.name;
    EXPECT_EQ(d.out.size(), e.usize) << name << ": " << e.name;
    EXPECT_EQ(ziptest::Crc(d.out), e.crc) << name << ": " << e.name;
    ++decoded;
  }
  return decoded;
}

int ExplodeEntry(const ziptest::ZipEntry& e, const zid::TDecodeJob& j) {
  return zid::Explode(j, zid::ExplodeOptionsFromFlags(e.flags));
}

// ---- explode ----

// Two trees (lengths and distances) of 64 codes, all 6 bits long: four runs of
// 16 codes each. Shannon-Fano code of symbol s is then 63 - s.
void FlatTrees(BitWriter& w) {
  for (int t = 0; t < 2; ++t) {
    w.Byte(3);
    for (int i = 0; i < 4; ++i) w.Byte(0xF5);
  }
}

void ExplodeLiteral(BitWriter& w, uint8_t b) {
  w.Bits(1, 1);
  w.Bits(b, 8);
}

// A match of the 4 KiB, two-tree flavour: minimum length 2.
void ExplodeMatch(BitWriter& w, uint32_t dist, uint32_t len) {
  w.Bits(0, 1);
  w.Bits((dist - 1) & 63, 6);
  w.Code(63 - ((dist - 1) >> 6), 6);
  uint32_t l = len - 2;
  if (l >= 63) {
    w.Code(0, 6);
    w.Bits(l - 63, 8);
  } else {
    w.Code(63 - l, 6);
  }
}

int Explode4k(const zid::TDecodeJob& j) { return zid::Explode(j, zid::TExplodeOptions{}); }

}  // namespace

TEST(Explode, DecodesCorpusSamples) {
  if (testutil::CorpusDir().empty()) GTEST_SKIP() << "corpus absent";
  auto imploded = [](uint16_t m) { return m == 6; };
  EXPECT_EQ(DecodeCorpus("commons__imploding-4Kdict-2trees.zip", ExplodeEntry, imploded), 1);
  EXPECT_EQ(DecodeCorpus("commons__imploding-8Kdict-3trees.zip", ExplodeEntry, imploded), 1);
  EXPECT_EQ(DecodeCorpus("commons__lorem-ipsum-implode.zip", ExplodeEntry, imploded), 1);
  EXPECT_EQ(DecodeCorpus("sharpcompress__Zip.implode.zip", ExplodeEntry, imploded), 2);
}

TEST(Explode, HandMadeStream) {
  BitWriter w;
  FlatTrees(w);
  ExplodeMatch(w, 100, 4);  // before the start: four zero bytes
  for (char c : std::string("abc")) ExplodeLiteral(w, static_cast<uint8_t>(c));
  ExplodeMatch(w, 3, 9);     // overlapping: abcabcabc
  ExplodeMatch(w, 1, 70);    // length code 63 plus 8 extra bits
  std::string expected = std::string(4, '\0') + "abc" + "abcabcabc" + std::string(70, 'c');
  auto d = Decode(Explode4k, w.Take(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out, expected);
}

TEST(Explode, BadTrees) {
  // runs adding up to 65 codes for a 64-code tree
  BitWriter over;
  over.Byte(4);
  for (int i = 0; i < 4; ++i) over.Byte(0xF5);
  over.Byte(0x05);
  EXPECT_EQ(Decode(Explode4k, over.Take(), 10).result, zid::drInvalidData);
  // runs adding up to 48 codes
  BitWriter under;
  under.Byte(2);
  for (int i = 0; i < 3; ++i) under.Byte(0xF5);
  EXPECT_EQ(Decode(Explode4k, under.Take(), 10).result, zid::drInvalidData);
  // 64 codes of 5 bits: over-subscribed
  BitWriter oversub;
  oversub.Byte(3);
  for (int i = 0; i < 4; ++i) oversub.Byte(0xF4);
  EXPECT_EQ(Decode(Explode4k, oversub.Take(), 10).result, zid::drInvalidData);
  // 64 codes of 7 bits: incomplete
  BitWriter incomplete;
  incomplete.Byte(3);
  for (int i = 0; i < 4; ++i) incomplete.Byte(0xF6);
  EXPECT_EQ(Decode(Explode4k, incomplete.Take(), 10).result, zid::drInvalidData);
}

TEST(Explode, TruncationAndEndlessInput) {
  BitWriter w;
  FlatTrees(w);
  for (int i = 0; i < 200; ++i) ExplodeLiteral(w, static_cast<uint8_t>(i));
  std::string packed = w.Take();
  for (size_t cut = 0; cut < packed.size(); cut += 7)
    EXPECT_EQ(Decode(Explode4k, packed.substr(0, cut), 200).result, zid::drInputExhausted) << cut;
  // the same data with a huge declared size and no end: stops when the input does
  EXPECT_EQ(Decode(Explode4k, packed, int64_t{1} << 47).result, zid::drInputExhausted);
  // and a declared size smaller than the data: stops there
  auto d = Decode(Explode4k, packed, 50);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out.size(), 50u);
}

// ---- unshrink ----

namespace {

// Codes of the given width, LSB-first.
struct ShrinkWriter {
  BitWriter w;
  unsigned width = 9;
  ShrinkWriter& operator<<(unsigned code) {
    w.Bits(code, width);
    return *this;
  }
  void Control(unsigned sub) {
    w.Bits(256, width);
    w.Bits(sub, width);
    if (sub == 1) ++width;
  }
};

}  // namespace

TEST(Unshrink, DecodesCorpusSamples) {
  if (testutil::CorpusDir().empty()) GTEST_SKIP() << "corpus absent";
  auto fn = [](const ziptest::ZipEntry&, const zid::TDecodeJob& j) { return zid::Unshrink(j); };
  auto shrunk = [](uint16_t m) { return m == 1; };
  EXPECT_EQ(DecodeCorpus("commons__SHRUNK.ZIP", fn, shrunk), 2);
  EXPECT_EQ(DecodeCorpus("sharpcompress__Zip.shrink.zip", fn, shrunk), 2);
  EXPECT_EQ(DecodeCorpus("sharpcompress__Zip.reduce1.zip", fn, shrunk), 1);
}

TEST(Unshrink, HandMadeStreams) {
  // A, B, 257 (= AB), 259 (the code being defined: AB + A), then wider codes
  ShrinkWriter s;
  s << 'A' << 'B' << 257 << 259;
  s.Control(1);
  s << 258 << 'C';
  std::string expected = "AB" "AB" "ABA" "BA" "C";
  auto d = Decode(zid::Unshrink, s.w.Take(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out, expected);
}

TEST(Unshrink, HostileStreams) {
  auto bad = [](ShrinkWriter& s, int64_t size) { return Decode(zid::Unshrink, s.w.Take(), size).result; };
  {
    ShrinkWriter s;  // control code with an unknown sub-code
    s << 'A';
    s.Control(3);
    s << 'B';
    EXPECT_EQ(bad(s, 2), zid::drInvalidData);
  }
  {
    ShrinkWriter s;  // the first code is not a literal
    s << 300;
    EXPECT_EQ(bad(s, 2), zid::drInvalidData);
  }
  {
    ShrinkWriter s;  // a code far beyond the next free one
    s << 'A' << 300;
    EXPECT_EQ(bad(s, 5), zid::drInvalidData);
  }
  {
    ShrinkWriter s;  // widening past 13 bits
    for (int i = 0; i < 5; ++i) s.Control(1);
    s << 'A';
    EXPECT_EQ(bad(s, 5), zid::drInvalidData);
  }
  {
    // A, B (257 = AB), 257 (258 = BA), partial clear frees 257 and 258;
    // 258 is then a freed code that is not the next free one (257)
    ShrinkWriter s;
    s << 'A' << 'B' << 257;
    s.Control(2);
    s << 258;
    EXPECT_EQ(bad(s, 10), zid::drInvalidData);
  }
  {
    // As above, but the last code (257) is freed by the clear and then reused
    // for the next entry, whose prefix is itself: its string never ends.
    ShrinkWriter s;
    s << 'A' << 'B' << 257;
    s.Control(2);
    s << 'C' << 257;
    EXPECT_EQ(bad(s, 100000), zid::drStackOverflow);
  }
}

TEST(Unshrink, FullTableKeepsDecoding) {
  // 13-bit codes, then enough literals to fill all 7,935 free codes; further
  // codes add nothing and a code past the table is never defined.
  ShrinkWriter s;
  s << 'a';
  for (int i = 0; i < 4; ++i) s.Control(1);
  std::string expected = "a";
  for (int i = 1; i < 9000; ++i) {
    s << static_cast<unsigned>('a' + i % 26);
    expected.push_back(static_cast<char>('a' + i % 26));
  }
  s << 8191;  // defined: the last entry filled, a two-byte string
  std::string packed = s.w.Take();
  auto d = Decode(zid::Unshrink, packed, static_cast<int64_t>(expected.size() + 2));
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_TRUE(d.out.substr(0, expected.size()) == expected);
  EXPECT_EQ(d.out.size(), expected.size() + 2);
  // code 8191 = 257 + 7934 pairs bytes 7934 and 7935
  EXPECT_EQ(d.out.substr(expected.size()), expected.substr(7934, 2));
}

TEST(Unshrink, TruncationAndDeclaredSize) {
  ShrinkWriter s;
  for (int i = 0; i < 300; ++i) s << static_cast<unsigned>(i % 200);
  std::string packed = s.w.Take();
  for (size_t cut = 0; cut < packed.size(); cut += 13)
    EXPECT_EQ(Decode(zid::Unshrink, packed.substr(0, cut), 300).result, zid::drInputExhausted) << cut;
  EXPECT_EQ(Decode(zid::Unshrink, packed, int64_t{0xFFFFFFFF}).result, zid::drInputExhausted);
  auto d = Decode(zid::Unshrink, packed, 77);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out.size(), 77u);
  EXPECT_EQ(Decode(zid::Unshrink, packed, -1).result, zid::drOk);
}

// ---- unreduce ----

namespace {

// Follower sets all empty: every byte is then 8 raw bits.
void EmptySets(BitWriter& w) {
  for (int i = 0; i < 256; ++i) w.Bits(0, 6);
}

int Reduce1(const zid::TDecodeJob& j) { return zid::Unreduce(j, 1); }

}  // namespace

TEST(Unreduce, DecodesCorpusSamples) {
  if (testutil::CorpusDir().empty()) GTEST_SKIP() << "corpus absent";
  auto fn = [](const ziptest::ZipEntry& e, const zid::TDecodeJob& j) { return zid::Unreduce(j, e.method - 1); };
  auto reduced = [](uint16_t m) { return m >= 2 && m <= 5; };
  for (const char* name : {"sharpcompress__Zip.reduce1.zip", "sharpcompress__Zip.reduce2.zip",
                           "sharpcompress__Zip.reduce3.zip", "sharpcompress__Zip.reduce4.zip"})
    EXPECT_GE(DecodeCorpus(name, fn, reduced), 2) << name;
}

TEST(Unreduce, HandMadeStream) {
  BitWriter w;
  EmptySets(w);
  for (uint8_t b : {uint8_t('x'), uint8_t(144), uint8_t(0), uint8_t('y')}) w.Byte(b);  // x, literal 144, y
  // 144, V = 5 (length 5 + 3), distance low byte 1 -> distance 2: "xy" style repeat
  for (uint8_t b : {uint8_t(144), uint8_t(5), uint8_t(1)}) w.Byte(b);
  // 144, V = 127 (length mask: one more length byte, 10), distance 200 before the start
  for (uint8_t b : {uint8_t(144), uint8_t(127), uint8_t(10), uint8_t(199)}) w.Byte(b);
  std::string expected = "x\x90y";
  for (int i = 0; i < 8; ++i) expected.push_back(expected[expected.size() - 2]);
  expected += std::string(127 + 10 + 3, '\0');
  auto d = Decode(Reduce1, w.Take(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out, expected);
}

TEST(Unreduce, FollowerSets) {
  // last character 0 has followers {'a', 'b', 'c'}; 'a' has none. Bits:
  // flag 0 + index 2 ('c'), then from 'c' (no set) a raw byte.
  BitWriter w;
  for (int c = 255; c >= 0; --c) {
    if (c == 0) {
      w.Bits(3, 6);
      w.Byte('a');
      w.Byte('b');
      w.Byte('c');
    } else {
      w.Bits(0, 6);
    }
  }
  BitWriter good = w;
  good.Bits(0, 1);
  good.Bits(2, 2);
  good.Byte('z');
  auto d = Decode(Reduce1, good.Take(), 2);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out, "cz");
  // index 3 in a set of three
  BitWriter past = w;
  past.Bits(0, 1);
  past.Bits(3, 2);
  EXPECT_EQ(Decode(Reduce1, past.Take(), 2).result, zid::drInvalidData);
}

TEST(Unreduce, HostileStreams) {
  BitWriter big;  // a follower set of 33
  big.Bits(33, 6);
  for (int i = 0; i < 33; ++i) big.Byte(1);
  EXPECT_EQ(Decode(Reduce1, big.Take(), 10).result, zid::drInvalidData);
  EXPECT_EQ(Decode([](const zid::TDecodeJob& j) { return zid::Unreduce(j, 5); }, "abc", 1).result,
            zid::drInvalidData);

  BitWriter w;
  EmptySets(w);
  for (int i = 0; i < 100; ++i) w.Byte(static_cast<uint8_t>('a' + i % 20));
  std::string packed = w.Take();
  for (size_t cut = 0; cut < packed.size(); cut += 11)
    EXPECT_EQ(Decode(Reduce1, packed.substr(0, cut), 100).result, zid::drInputExhausted) << cut;
  EXPECT_EQ(Decode(Reduce1, packed, int64_t{1} << 47).result, zid::drInputExhausted);
  EXPECT_EQ(Decode(Reduce1, packed, 40).out.size(), 40u);
  EXPECT_EQ(Decode(Reduce1, packed, -1).out.size(), 100u);
}

TEST(LegacyDecoders, CancelAndOutputFailure) {
  ShrinkWriter s;
  for (int i = 0; i < 40000; ++i) s << static_cast<unsigned>(i % 256);
  std::string packed = s.w.Take();
  bool cancel = true;
  size_t pos = 0;
  zid::TDecodeJob job;
  job.cancel = &cancel;
  job.expectedSize = 40000;
  ziptest::MemorySource(job, packed, pos);
  int writes = 0;
  job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
    ++writes;
    return n;
  };
  EXPECT_EQ(zid::Unshrink(job), zid::drCancelled);
  EXPECT_EQ(writes, 0);
  cancel = false;
  pos = 0;
  job.sink.write = [](const uint8_t*, int64_t) -> int64_t { return 0; };
  EXPECT_EQ(zid::Unshrink(job), zid::drOutputFailed);
}
