// The window inflater: plain DEFLATE against zlib, Deflate64 (hand-made and
// from 7-Zip), and the failure results on damaged or hostile streams.
#include <gtest/gtest.h>

#include "zip_fixture.h"
#include "engine/zip/zidInflate.h"

using ziptest::BitWriter;
using ziptest::Decode;

namespace {

int Plain(const zid::TDecodeJob& job) { return zid::InflateWindow(job, false); }
int Wide(const zid::TDecodeJob& job) { return zid::InflateWindow(job, true); }

std::string MixedData() {
  return testutil::TextBytes(300000, 7) + testutil::RandomBytes(70000, 8) + std::string(50000, 'z') +
         testutil::TextBytes(100000, 9);
}

// Fixed-block codes, written most significant bit first.
void FixedLiteral(BitWriter& w, unsigned sym) {
  if (sym < 144) w.Code(0x30 + sym, 8);
  else if (sym < 256) w.Code(0x190 + sym - 144, 9);
  else if (sym < 280) w.Code(sym - 256, 7);
  else w.Code(0xC0 + sym - 280, 8);
}

// A stored block of `data` (not final).
void Stored(BitWriter& w, const std::string& data, bool last = false) {
  w.Bits(last, 1);
  w.Bits(0, 2);
  w.Align();
  w.Bits(static_cast<uint32_t>(data.size()), 16);
  w.Bits(static_cast<uint32_t>(data.size()) ^ 0xFFFF, 16);
  for (char c : data) w.Byte(static_cast<uint8_t>(c));
}

// 40,000 bytes of history, then one fixed block with a single Deflate64 match:
// length code 285 with extra value 65,000 (length 65,003) at distance 40,000
// (distance code 30, base 32,769, 14 extra bits).
std::string Deflate64Match(std::string* expected) {
  std::string head = testutil::RandomBytes(40000, 3);
  BitWriter w;
  Stored(w, head.substr(0, 20000));
  Stored(w, head.substr(20000));
  w.Bits(1, 1);
  w.Bits(1, 2);
  FixedLiteral(w, 285);
  w.Bits(65000, 16);
  w.Code(30, 5);
  w.Bits(40000 - 32769, 14);
  FixedLiteral(w, 256);
  std::string out = head;
  for (int i = 0; i < 65003; ++i) out.push_back(out[out.size() - 40000]);
  *expected = out;
  return w.Take();
}

}  // namespace

TEST(InflateWindow, DecodesZlibOutputAtEveryLevel) {
  const std::string inputs[] = {testutil::RandomBytes(200000, 1), testutil::TextBytes(400000, 2), MixedData(),
                                std::string()};
  for (const std::string& data : inputs) {
    for (int level : {0, 1, 6, 9}) {
      std::string packed = ziptest::RawDeflate(data, level);
      auto d = Decode(Plain, packed, static_cast<int64_t>(data.size()));
      EXPECT_EQ(d.result, zid::drOk) << "level " << level << " size " << data.size();
      EXPECT_TRUE(d.out == data) << "level " << level << " size " << data.size();
      EXPECT_LE(d.maxAsked, static_cast<int64_t>(packed.size()));
      // the size may also be unknown
      auto u = Decode(Plain, packed, -1);
      EXPECT_EQ(u.result, zid::drOk);
      EXPECT_EQ(u.out.size(), data.size());
    }
  }
}

TEST(InflateWindow, VariantIsAParameter) {
  std::string data = testutil::TextBytes(100000, 4);
  auto d = Decode([](const zid::TDecodeJob& j) { return zid::InflateWindow(j, false); }, ziptest::RawDeflate(data, 6), -1);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_TRUE(d.out == data);
  std::string expected;
  const std::string d64 = Deflate64Match(&expected);
  d = Decode([](const zid::TDecodeJob& j) { return zid::InflateWindow(j, true); }, d64, -1);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_TRUE(d.out == expected);
  // The same stream read as plain Deflate: the Deflate64 length code is invalid there.
  EXPECT_NE(Decode([](const zid::TDecodeJob& j) { return zid::InflateWindow(j, false); }, d64, -1).out, expected);
}

TEST(InflateWindow, HandMadeDeflate64Match) {
  std::string expected;
  std::string packed = Deflate64Match(&expected);
  auto d = Decode(Wide, packed, static_cast<int64_t>(expected.size()));
  ASSERT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out.size(), 105003u);
  EXPECT_TRUE(d.out == expected);
  // as plain DEFLATE the same bits are not a valid stream
  auto p = Decode(Plain, packed, -1);
  EXPECT_NE(p.result, zid::drOk);
  EXPECT_FALSE(p.out == expected);
}

TEST(InflateWindow, DistanceCode30OnlyInDeflate64) {
  // 40,000 bytes, then a fixed block copying 10 bytes from 40,000 back
  std::string head = testutil::RandomBytes(40000, 5);
  BitWriter w;
  Stored(w, head.substr(0, 30000));
  Stored(w, head.substr(30000));
  w.Bits(1, 1);
  w.Bits(1, 2);
  FixedLiteral(w, 264);  // length 10
  w.Code(30, 5);
  w.Bits(40000 - 32769, 14);
  FixedLiteral(w, 256);
  std::string packed = w.Take();
  EXPECT_EQ(Decode(Plain, packed, -1).result, zid::drInvalidData);
  auto d = Decode(Wide, packed, -1);
  ASSERT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out.substr(40000), head.substr(0, 10));
}

TEST(InflateWindow, DecodesDeflate64From7Zip) {
  REQUIRE_TOOL("7zz");
  testutil::TempDir dir;
  std::string data = MixedData() + testutil::TextBytes(200000, 11);
  testutil::WriteFile(dir.file("in.bin"), data);
  std::string cmd = "cd " + testutil::ShellQuote(dir.path()) + " && 7zz a -tzip -mm=Deflate64 -mx=9 out.zip in.bin";
  ASSERT_EQ(testutil::Run(cmd), 0);
  auto entries = ziptest::ReadZip(dir.file("out.zip"));
  ASSERT_EQ(entries.size(), 1u);
  ASSERT_EQ(entries[0].method, 9);
  auto d = Decode(Wide, entries[0].data, static_cast<int64_t>(entries[0].usize));
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_TRUE(d.out == data);
}

TEST(InflateWindow, DecodesCorpusDeflate64Entries) {
  for (const char* name : {"commons__lorem-ipsum-deflate64.zip", "sharpcompress__Zip.deflate64.zip",
                           "commons__COMPRESS-380.zip"}) {
    std::string path = ziptest::CorpusZip(name);
    if (path.empty()) GTEST_SKIP() << "corpus absent";
    int decoded = 0;
    for (const auto& e : ziptest::ReadZip(path)) {
      if (e.method != 9) continue;
      auto d = Decode(Wide, e.data, static_cast<int64_t>(e.usize));
      EXPECT_EQ(d.result, zid::drOk) << name << ": " << e.name;
      EXPECT_EQ(d.out.size(), e.usize) << name << ": " << e.name;
      EXPECT_EQ(ziptest::Crc(d.out), e.crc) << name << ": " << e.name;
      ++decoded;
    }
    EXPECT_GT(decoded, 0) << name;
  }
}

TEST(InflateWindow, StoredBlockWithBadNlen) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(0, 2);
  w.Align();
  w.Bits(5, 16);
  w.Bits(5 ^ 0xFFFF ^ 0x0100, 16);  // one bit off
  for (int i = 0; i < 5; ++i) w.Byte('a');
  EXPECT_EQ(Decode(Plain, w.Take(), -1).result, zid::drInvalidData);
}

TEST(InflateWindow, CancelStopsOutput) {
  std::string data = testutil::RandomBytes(300000, 12);
  std::string packed = ziptest::RawDeflate(data, 1);
  bool cancel = false;
  int writes = 0, writesAfterCancel = 0;
  size_t pos = 0;
  zid::TDecodeJob job;
  job.cancel = &cancel;
  ziptest::MemorySource(job, packed, pos);
  job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
    if (cancel) ++writesAfterCancel;
    if (++writes == 2) cancel = true;
    return n;
  };
  EXPECT_EQ(zid::InflateWindow(job, false), zid::drCancelled);
  EXPECT_EQ(writes, 2);
  EXPECT_EQ(writesAfterCancel, 0);
}

TEST(InflateWindow, TruncatedStreamIsNeverSuccess) {
  std::string data = testutil::TextBytes(100000, 13) + testutil::RandomBytes(5000, 14);
  for (int level : {0, 1, 9}) {
    std::string packed = ziptest::RawDeflate(data, level);
    std::vector<size_t> cuts = {0, 1, 2, 3, packed.size() - 1, packed.size() - 2};
    for (size_t c = 5; c < packed.size(); c += packed.size() / 37) cuts.push_back(c);
    for (size_t cut : cuts) {
      auto d = Decode(Plain, packed.substr(0, cut), static_cast<int64_t>(data.size()));
      EXPECT_EQ(d.result, zid::drInputExhausted) << "level " << level << " cut " << cut;
      EXPECT_TRUE(data.compare(0, d.out.size(), d.out) == 0);
    }
  }
}

TEST(InflateWindow, OutputFailureAndProgress) {
  std::string data = testutil::TextBytes(200000, 15);
  std::string packed = ziptest::RawDeflate(data, 6);
  size_t pos = 0;
  std::vector<int64_t> reports;
  zid::TDecodeJob job;
  ziptest::MemorySource(job, packed, pos);
  job.sink.write = [](const uint8_t*, int64_t n) -> int64_t { return n; };
  job.progress = [&](int64_t done) { reports.push_back(done); };
  ASSERT_EQ(zid::InflateWindow(job, false), zid::drOk);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), 200000);
  EXPECT_EQ(reports.front(), 32768);

  pos = 0;
  job.sink.write = [](const uint8_t*, int64_t n) -> int64_t { return n - 1; };
  EXPECT_EQ(zid::InflateWindow(job, false), zid::drOutputFailed);
}

// Dynamic block headers that must be refused.
namespace {

// A dynamic header with the given code-length code lengths (in RFC order) and
// then `body` written by the caller.
std::string Dynamic(unsigned hlit, unsigned hdist, const std::vector<unsigned>& clens,
                    const std::function<void(BitWriter&)>& body) {
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(2, 2);
  w.Bits(hlit - 257, 5);
  w.Bits(hdist - 1, 5);
  w.Bits(static_cast<uint32_t>(clens.size()) - 4, 4);
  for (unsigned l : clens) w.Bits(l, 3);
  body(w);
  return w.Take();
}

}  // namespace

TEST(InflateWindow, HostileDynamicHeaders) {
  // code-length code over-subscribed: three symbols of length 1
  EXPECT_EQ(Decode(Plain, Dynamic(257, 1, {1, 1, 1, 0}, [](BitWriter&) {}), -1).result, zid::drInvalidData);
  // code-length code incomplete: one symbol of length 2
  EXPECT_EQ(Decode(Plain, Dynamic(257, 1, {2, 0, 0, 0}, [](BitWriter&) {}), -1).result, zid::drInvalidData);

  // Code-length code with symbols 16, 17, 18 and 0 of length 2 (sent in RFC
  // order 16, 17, 18, 0): canonical codes 0 = 00, 16 = 01, 17 = 10, 18 = 11.
  const std::vector<unsigned> four = {2, 2, 2, 2};
  auto withFour = [&four](const std::function<void(BitWriter&)>& lengths) {
    return Decode(Plain, Dynamic(257, 1, four, lengths), -1).result;
  };
  // a repeat (18: 138 zeros, three times) runs past HLIT + HDIST = 258
  EXPECT_EQ(withFour([](BitWriter& w) {
              for (int i = 0; i < 3; ++i) {
                w.Code(3, 2);
                w.Bits(127, 7);
              }
            }),
            zid::drInvalidData);
  // repeat of the previous length with nothing before it
  EXPECT_EQ(withFour([](BitWriter& w) {
              w.Code(1, 2);
              w.Bits(0, 2);
            }),
            zid::drInvalidData);
  // every length zero: no end-of-block code
  EXPECT_EQ(withFour([](BitWriter& w) {
              w.Code(3, 2);
              w.Bits(127, 7);  // 138
              w.Code(3, 2);
              w.Bits(109, 7);  // 120 -> 258
            }),
            zid::drInvalidData);
}

TEST(InflateWindow, HostileCodes) {
  // block type 3
  BitWriter t;
  t.Bits(1, 1);
  t.Bits(3, 2);
  EXPECT_EQ(Decode(Plain, t.Take(), -1).result, zid::drInvalidData);

  // a match reaching before the start of the output
  BitWriter m;
  m.Bits(1, 1);
  m.Bits(1, 2);
  FixedLiteral(m, 'a');
  FixedLiteral(m, 257);  // length 3
  m.Code(1, 5);          // distance 2, one byte of output so far
  FixedLiteral(m, 256);
  EXPECT_EQ(Decode(Plain, m.Take(), -1).result, zid::drInvalidData);

  // literal/length symbols 286 and 287 are not in the alphabet
  BitWriter s;
  s.Bits(1, 1);
  s.Bits(1, 2);
  FixedLiteral(s, 286);
  EXPECT_EQ(Decode(Plain, s.Take(), -1).result, zid::drInvalidData);
}

TEST(InflateWindow, StopsAtTheDeclaredSize) {
  // Endless input: stored blocks for ever, from a source without a budget.
  BitWriter w;
  Stored(w, std::string(60000, 'x'));
  std::string block = w.Take();
  int64_t served = 0;
  size_t pos = 0;
  int64_t written = 0;
  zid::TDecodeJob job;
  job.source.read = [&](uint8_t* buf, int64_t n) -> int64_t {
    for (int64_t i = 0; i < n; ++i) {
      buf[i] = static_cast<uint8_t>(block[pos]);
      pos = (pos + 1) % block.size();
    }
    served += n;
    return n;
  };
  job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
    written += n;
    return n;
  };
  job.expectedSize = 1000000;
  EXPECT_EQ(zid::InflateWindow(job, true), zid::drInvalidData);
  EXPECT_LE(written, 1000000);
  EXPECT_LT(served, 2000000);
}
