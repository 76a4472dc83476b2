// The LZH decoders on streams built here: flat-coded blocks with chosen
// tokens (far matches, the window limits), the one-symbol block, hostile
// block headers, truncation at every byte, and the declared size as a hard
// end; -lh1- and LArc streams taken from the corpus samples.
#include <gtest/gtest.h>

#include "engine/base/zidByteSource.h"
#include "engine/lha/zidLarc.h"
#include "engine/lha/zidLhaHeader.h"
#include "engine/lha/zidLzh5.h"
#include "engine/lha/zidLzhuf.h"
#include "unlha_helpers.h"

using namespace unlhatest;
using zid::TLzhParams;

namespace {

// What the tokens produce.
std::string Expand(const std::vector<Token>& tokens) {
  std::string out;
  for (const Token& t : tokens) {
    if (t.literal >= 0) {
      out.push_back(static_cast<char>(t.literal));
      continue;
    }
    for (unsigned i = 0; i < t.len; ++i) out.push_back(out[out.size() - t.dist - 1]);
  }
  return out;
}

// Blocks of at most 60000 tokens each.
std::string Encode(const std::vector<Token>& tokens, const TLzhParams& p) {
  BitWriter w;
  for (size_t i = 0; i < tokens.size(); i += 60000) {
    std::vector<Token> part(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                            tokens.begin() + static_cast<std::ptrdiff_t>(std::min(tokens.size(), i + 60000)));
    FlatBlock(w, part, p.dicBit + 1, p.pBit);
  }
  return w.Finish();
}

std::vector<Token> Literals(const std::string& s) {
  std::vector<Token> t;
  for (char c : s) t.push_back(Lit(static_cast<uint8_t>(c)));
  return t;
}

Decoded Lzh(const std::string& in, int64_t expected, const TLzhParams& p) {
  return Decode(in, expected, [&](const zid::TDecodeJob& job) { return zid::LzhDecode(job, p); });
}

// The data of the first entry of a corpus sample.
std::string CorpusData(const std::string& file, zid::TLhaHeader& h) {
  const std::string dir = testutil::CorpusDir();
  if (dir.empty()) return std::string();
  const std::string bytes = testutil::ReadFile(dir + "/lha/" + file);
  zid::TMemorySource src(bytes.data(), static_cast<int64_t>(bytes.size()));
  auto read = [&src](int64_t pos, void* buf, int64_t n) { return src.ReadAt(pos, buf, n); };
  if (zid::ReadLhaHeader(read, zid::LhaFirstHeader(read, 0), h) != zid::lhOk) return std::string();
  return bytes.substr(static_cast<size_t>(h.dataOffset), static_cast<size_t>(h.packedSize));
}

}  // namespace

TEST(LzhDecode, FlatBlocksReachAcrossTheWholeWindow) {
  const std::string random = testutil::RandomBytes(70000, 11);
  struct Case {
    const char* what;
    TLzhParams params;
    std::vector<Token> tokens;
    int result;
  };
  std::vector<Token> far = Literals(random);
  far.push_back(Match(256, 65535));  // 65536 back: the whole -lh7- window
  far.push_back(Match(3, 65534));
  far.push_back(Match(200, 0));      // the previous byte repeated
  std::vector<Token> arjFar = Literals(random.substr(0, 30000));
  arjFar.push_back(Match(10, 26623));  // the last byte a 26624-byte window holds
  std::vector<Token> arjTooFar = arjFar;
  arjTooFar.push_back(Match(10, 26624));
  std::vector<Token> beforeStart = Literals("abc");
  beforeStart.push_back(Match(3, 3));
  const Case cases[] = {
      {"-lh7- whole window", zid::kLzhLh7, far, zid::drOk},
      {"ARJ window end", zid::kLzhArj, arjFar, zid::drOk},
      {"ARJ past its window", zid::kLzhArj, arjTooFar, zid::drInvalidData},
      {"before the start", zid::kLzhLh5, beforeStart, zid::drInvalidData},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string expected = Expand(c.tokens);
    const Decoded d = Lzh(Encode(c.tokens, c.params), static_cast<int64_t>(expected.size()), c.params);
    EXPECT_EQ(d.result, c.result);
    if (c.result == zid::drOk) {
      EXPECT_TRUE(d.out == expected);
    }
  }
}

TEST(LzhDecode, OneSymbolBlocksAndTheDeclaredSize) {
  // counts of 0: every code is the one symbol given, read with no bits at all
  BitWriter w;
  w.Put(5000, 16);
  w.Put(0, 5), w.Put(0, 5);
  w.Put(0, 9), w.Put('A', 9);
  w.Put(0, 4), w.Put(0, 4);
  const std::string oneSymbol = w.Finish();
  EXPECT_EQ(Lzh(oneSymbol, 5000, zid::kLzhLh5).out, std::string(5000, 'A'));
  EXPECT_EQ(Lzh(oneSymbol, 5000, zid::kLzhLh5).result, zid::drOk);
  // output stops at the declared size, even inside a match
  const std::vector<Token> t = {Lit('x'), Match(100, 0)};
  const Decoded cut = Lzh(Encode(t, zid::kLzhLh6), 50, zid::kLzhLh6);
  EXPECT_EQ(cut.result, zid::drOk);
  EXPECT_EQ(cut.out, std::string(50, 'x'));
  // nothing declared, nothing read; an unknown size cannot be decoded (no end marker)
  EXPECT_EQ(Lzh("", 0, zid::kLzhLh5).result, zid::drOk);
  EXPECT_EQ(Lzh(oneSymbol, -1, zid::kLzhLh5).result, zid::drInvalidData);
}

TEST(LzhDecode, HostileBlockHeadersAreInvalidData) {
  using Build = std::function<void(BitWriter&)>;
  auto ptFlat = [](BitWriter& w) {  // a usable code-length code (19 x 5 bits)
    w.Put(19, 5);
    for (int i = 0; i < 19; ++i) {
      w.Put(5, 3);
      if (i == 2) w.Put(0, 2);
    }
  };
  struct Case {
    const char* what;
    Build build;
  };
  const Case cases[] = {
      {"block of no codes", [](BitWriter& w) { w.Put(0, 16); }},
      {"more code-length codes than NT", [](BitWriter& w) { w.Put(1, 16), w.Put(20, 5); }},
      {"single code-length code past NT", [](BitWriter& w) { w.Put(1, 16), w.Put(0, 5), w.Put(19, 5); }},
      {"length past 16", [](BitWriter& w) {
         w.Put(1, 16), w.Put(1, 5), w.Put(7, 3), w.Put(0x3FF, 10);
       }},
      {"over-subscribed code-length code", [](BitWriter& w) {
         w.Put(1, 16), w.Put(3, 5);
         for (int i = 0; i < 3; ++i) w.Put(1, 3);
         w.Put(0, 2);
       }},
      {"zero run past NT", [](BitWriter& w) {
         w.Put(1, 16), w.Put(4, 5), w.Put(5, 3), w.Put(5, 3), w.Put(5, 3), w.Put(3, 2);
         for (int i = 0; i < 14; ++i) w.Put(5, 3);
       }},
      {"more literal codes than NC", [&](BitWriter& w) { w.Put(1, 16), ptFlat(w), w.Put(511, 9); }},
      {"single literal code past NC", [&](BitWriter& w) { w.Put(1, 16), ptFlat(w), w.Put(0, 9), w.Put(510, 9); }},
      {"zero run past NC", [&](BitWriter& w) {
         w.Put(1, 16), ptFlat(w), w.Put(500, 9);
         w.Put(2, 5), w.Put(511, 9);  // code-length symbol 2: 20 + 511 zeros
       }},
      {"more position codes than NP", [&](BitWriter& w) {
         w.Put(1, 16), ptFlat(w), w.Put(0, 9), w.Put('a', 9), w.Put(15, 4);
       }},
      {"single position code past NP", [&](BitWriter& w) {
         w.Put(1, 16), ptFlat(w), w.Put(0, 9), w.Put('a', 9), w.Put(0, 4), w.Put(14, 4);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BitWriter w;
    c.build(w);
    // enough trailing bits that none of this is a truncation
    for (int i = 0; i < 64; ++i) w.Put(0, 16);
    EXPECT_EQ(Lzh(w.Finish(), 100, zid::kLzhLh5).result, zid::drInvalidData);
  }
}

TEST(LzhDecode, EveryTruncationIsInputExhausted) {
  std::vector<Token> t = Literals(testutil::TextBytes(1000, 5));
  for (unsigned i = 0; i < 200; ++i) t.push_back(Match(3 + i % 200, i * 7 % 900));
  t.push_back(Lit('!'));
  const std::string stream = Encode(t, zid::kLzhLh6);
  const std::string expected = Expand(t);
  ASSERT_EQ(Lzh(stream, static_cast<int64_t>(expected.size()), zid::kLzhLh6).out, expected);
  for (size_t cut = 0; cut < stream.size(); ++cut) {
    const Decoded d = Lzh(stream.substr(0, cut), static_cast<int64_t>(expected.size()), zid::kLzhLh6);
    ASSERT_EQ(d.result, zid::drInputExhausted) << "cut at " << cut;
    ASSERT_TRUE(expected.compare(0, d.out.size(), d.out) == 0);
  }
}

TEST(LzhDecode, OlderMethodsFromTheCorpusAndTheirTruncations) {
  if (testutil::CorpusDir().empty()) GTEST_SKIP() << "no corpus";
  struct Case {
    const char* file;
    std::function<int(const zid::TDecodeJob&)> decode;
  };
  const Case cases[] = {
      {"lharc113__lh1.lzh", zid::LzhufDecode},
      {"larc333__lz5.lzs", zid::Lz5Decode},
      {"larc333__initial.lzs", zid::Lz5Decode},
      {"generated_lzs__lzs.lzs", zid::LzsDecode},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    zid::TLhaHeader h;
    const std::string data = CorpusData(c.file, h);
    ASSERT_FALSE(data.empty());
    const Decoded whole = Decode(data, h.originalSize, c.decode);
    EXPECT_EQ(whole.result, zid::drOk);
    EXPECT_EQ(Crc16(whole.out), h.crc);
    EXPECT_EQ(Decode(data, 0, c.decode).out, "");
    for (size_t cut : {size_t{0}, size_t{1}, data.size() / 3, data.size() - 2})
      EXPECT_EQ(Decode(data.substr(0, cut), h.originalSize, c.decode).result, zid::drInputExhausted) << cut;
  }
}

TEST(LzhufDecode, AMatchAtTheStartCopiesTheRingsSpaces) {
  // 10001100: symbol 256 (a match of 3) in the starting tree; then position 0
  // (upper code 000, six low bits 0): the 3 bytes just before the start.
  const std::string stream("\x8C\x00\x00", 3);
  const Decoded d = Decode(stream, 3, zid::LzhufDecode);
  EXPECT_EQ(d.result, zid::drOk);
  EXPECT_EQ(d.out, "   ");
}
