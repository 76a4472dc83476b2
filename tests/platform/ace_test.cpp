// The ACE library's parts: the checksums and the cipher against the format's
// test vectors, the word-wise bit reader, and the decoders over streams built
// here: every ACE 2.0 mode and filter, and damaged streams that must end with
// an error (never a crash, a hang or bytes past the declared size).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/ace/ace_blocked.h"
#include "platform/ace/ace_crypt.h"
#include "platform/ace/ace_lz77.h"
#include "platform/ace/ace_output.h"
#include "platform/ace/unace.h"
#include "support/testutil.h"
#include "platform/ace_builder.h"

using acetest::Bits;
using acetest::LzWriter;

namespace {

std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

// Decodes a member's packed bytes; the output in *out, the result returned.
ace::TResult Decode(const std::string& packed, uint64_t size, bool blocked, std::string* out = nullptr) {
  size_t pos = 0;
  std::string produced;
  ace::TBitReader br([&](uint8_t* p, size_t n) {
    const size_t k = std::min(n, packed.size() - pos);
    std::memcpy(p, packed.data() + pos, k);
    pos += k;
    return k;
  });
  ace::TOutput o(
      [&](const uint8_t* p, size_t n) {
        produced.append(reinterpret_cast<const char*>(p), n);
        return true;
      },
      4096, size);
  ace::THistory hist;
  ace::TResult r = ace::TResult::Ok;
  try {
    ace::DecodeCompressed(br, hist, o, size, blocked);
  } catch (const ace::TFailure& f) {
    r = f.result;
  }
  EXPECT_LE(produced.size(), size);
  if (out) *out = produced;
  return r;
}

}  // namespace

TEST(AceChecks, CrcKeyAndCipherVectors) {
  const auto* digits = reinterpret_cast<const uint8_t*>("123456789");
  EXPECT_EQ(ace::Crc32(digits, 9), 0x340BC6D9u);
  EXPECT_EQ(ace::Crc32(digits, 0), 0xFFFFFFFFu);
  EXPECT_EQ(ace::HeaderCrc(digits, 9), 0xC6D9u);

  struct KeyCase {
    const char* password;
    std::array<uint32_t, 5> key;
  };
  const KeyCase keys[] = {
      {"123456789", {0xB70ECB9C, 0xC63C99E5, 0xF1E50085, 0x4E0246FE, 0x3571369E}},
      {"test", {0x56FAA4F4, 0x7492C6F7, 0xDF9D39D0, 0xC1E58B5B, 0xFE4AE668}},
  };
  for (const KeyCase& k : keys) EXPECT_EQ(ace::DeriveKey(k.password), k.key) << k.password;
  // only the first 50 bytes of a password count
  EXPECT_EQ(ace::DeriveKey(std::string(50, 'x')), ace::DeriveKey(std::string(60, 'x')));

  struct CbcCase {
    std::string cipher;
    const char* plain;
  };
  const CbcCase cbc[] = {
      {std::string(8, '\xFF') + std::string(8, '\xC7'), "B7774640352E65726545 05C4A58529BC"},
      {std::string(16, '\x37'), "095FD0617D1D68DD3E68E7564A2A5FEA"},
  };
  for (const CbcCase& c : cbc) {
    std::string buf = c.cipher;
    ace::TCbcDecryptor d("123456789");
    d.Decrypt(reinterpret_cast<uint8_t*>(buf.data()), buf.size());
    std::string want = c.plain;
    want.erase(std::remove(want.begin(), want.end(), ' '), want.end());
    EXPECT_EQ(Hex(reinterpret_cast<const uint8_t*>(buf.data()), buf.size()), want);
  }
  // the test archives' encryption is the inverse
  const std::string plain = "sixteen bytes ok";
  std::string round = acetest::Encrypt(plain, "pw");
  ace::TCbcDecryptor d("pw");
  d.Decrypt(reinterpret_cast<uint8_t*>(round.data()), round.size());
  EXPECT_EQ(round, plain);
}

TEST(AceBits, WordsReadFromTheTopBitAndTheEndIsAnError) {
  const std::string data = "\xE5\xA6\x1C\x89\xBD\x5B\x37\x96";
  size_t pos = 0;
  ace::TBitReader br([&](uint8_t* p, size_t n) {
    const size_t k = std::min(n, data.size() - pos);
    std::memcpy(p, data.data() + pos, k);
    pos += k;
    return k;
  });
  EXPECT_EQ(br.Read(9), 274u);
  EXPECT_EQ(br.Read(4), 3u);
  EXPECT_EQ(br.Read(4), 9u);
  const uint32_t threes[] = {2, 3, 3, 4, 5, 4, 5, 4, 3, 3};
  for (uint32_t v : threes) EXPECT_EQ(br.Read(3), v);
  EXPECT_EQ(br.Read(17), 0x15BBDu & 0x1FFFF);  // the rest of the second word
  EXPECT_EQ(br.Peek(31), 0u);                   // peeking past the end gives zeros
  try {
    br.Skip(1);
    ADD_FAILURE() << "consumed a bit past the end";
  } catch (const ace::TFailure& f) {
    EXPECT_EQ(f.result, ace::TResult::Truncated);
  }
}

// Streams of every mode, each with the output the format's rules give.
TEST(AceBlocked, ModesAndFiltersDecode) {
  struct Case {
    const char* name;
    std::function<std::string()> stream;
    std::string expected;
    bool blocked;
  };
  std::vector<Case> cases;
  cases.push_back({"literals, an overlapping match, the recent-distance cache",
                   [] {
                     LzWriter w;
                     w.Literals("ab");
                     w.Match(2, 6);   // ababab; the cache holds 1 (distances are kept less one)
                     w.Literal('x');
                     w.Match(3, 3);   // abx; the cache: 0 0 1 2
                     w.Recent(1, 2);  // slot 1 is the 1 (distance 2): bx; the cache: 0 0 2 1
                     w.Recent(1, 2);  // slot 1 is now the 2 (distance 3): xb
                     return w.Bytes();
                   },
                   "abababab" "x" "abx" "bx" "xb", false});
  cases.push_back({"a recent-distance match at the start repeats the previous byte",
                   [] {
                     LzWriter w;
                     w.Literal(' ');
                     w.Recent(0, 32);
                     return w.Bytes();
                   },
                   std::string(33, ' '), false});
  cases.push_back({"DELTA: planes differenced, then interleaved",
                   [] {
                     // output ABCDEF with dist 2 is stored as the planes ACE BDF, differenced
                     LzWriter w;
                     w.Mode(1);
                     w.bits.Put(2, 8);
                     w.bits.Put(6, 17);
                     const char planes[] = "ACEBDF";
                     uint8_t prev = 0;
                     for (int i = 0; i < 6; ++i) {
                       w.Literal(static_cast<uint8_t>(planes[i] - prev));
                       prev = static_cast<uint8_t>(planes[i]);
                     }
                     w.Mode(0);
                     w.Literals("!");
                     return w.Bytes();
                   },
                   "ABCDEF!", true});
  cases.push_back({"EXE with 32-bit CALLs: targets relative to the opcode's offset; the last 4 bytes untouched",
                   [] {
                     LzWriter w;
                     w.Literals("zz");
                     w.Mode(2);
                     w.bits.Put(1, 8);
                     // the E8 at member offset 3 holds its target 0x1010 plus that offset
                     w.Literals(std::string("\x90\xE8\x13\x10\x00\x00\x90\x90\xE8\x01\x02", 11));
                     w.Mode(0);
                     w.Literals(std::string("\xE8\x05\x00\x00\x00", 5));
                     return w.Bytes();
                   },
                   std::string("zz\x90\xE8\x10\x10\x00\x00\x90\x90\xE8\x01\x02\xE8\x05\x00\x00\x00", 18), true});
  cases.push_back({"EXE mode 0: CALL and JMP with 16-bit operands",
                   [] {
                     LzWriter w;
                     w.Mode(2);
                     w.bits.Put(0, 8);
                     w.Literals(std::string("\xE8\x05\x00\xE9\x07\x00\x90\x90\x90\x90", 10));
                     return w.Bytes();
                   },
                   std::string("\xE8\x05\x00\xE9\x04\x00\x90\x90\x90\x90", 10), true});
  cases.push_back({"SOUND_8: a run of zero residuals, then back to LZ77 before the block's limit",
                   [] {
                     LzWriter w;
                     w.Mode(3);
                     // three models of the one channel, then the symbol count
                     std::vector<ace::THuffman> m;
                     for (int k = 0; k < 3; ++k) m.push_back(acetest::PutTable(w.bits, std::vector<uint8_t>(289, 9), 10));
                     w.bits.Put(2, 15);
                     acetest::PutSymbol(w.bits, m[0], 3);    // four zero residuals
                     acetest::PutSymbol(w.bits, m[2], 288);  // escape: a mode instruction follows
                     w.bits.Put(0, 8);
                     w.Literals("ZZZZZ");
                     return w.Bytes();
                   },
                   std::string(4, '\0') + "ZZZZZ", true});
  cases.push_back({"PIC: two rows of zeros, then back to LZ77",
                   [] {
                     LzWriter w;
                     w.Mode(7);
                     w.bits.Put(4, 12);  // width 4
                     w.bits.Put(0, 1);
                     w.bits.Put(1, 2);   // one plane
                     w.bits.Put(0, 1);
                     // pixel errors 0 in context 0: 3, 2, 1, 1, 0... low bits, each with its stop bit
                     w.bits.Put(1, 1);
                     w.bits.Put(0, 4 + 3 + 2 + 2);
                     w.bits.Put(1, 1);
                     w.bits.Put(0, 1 + 1 + 1 + 1);
                     w.bits.Put(0, 1);  // no more rows: a mode instruction
                     w.bits.Put(0, 8);
                     w.Literals("P");
                     return w.Bytes();
                   },
                   std::string(8, '\0') + "P", true});
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(Decode(c.stream(), c.expected.size(), c.blocked, &out), ace::TResult::Ok) << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

// Damaged and hostile streams: each ends with its error, within the declared size.
TEST(AceBlocked, DamagedStreamsEndWithAnError) {
  struct Case {
    const char* name;
    std::function<std::string()> stream;
    uint64_t size;
    bool blocked;
    ace::TResult expected;
  };
  auto lz = [](const std::function<void(LzWriter&)>& f) {
    return [f] {
      LzWriter w;
      f(w);
      return w.Bytes();
    };
  };
  const Case cases[] = {
      {"no data at all", [] { return std::string(); }, 10, false, ace::TResult::Truncated},
      {"the stream stops short", lz([](LzWriter& w) { w.Literals("abc"); }), 10, false, ace::TResult::Truncated},
      {"a block of zero symbols", [] {
         Bits b;
         acetest::PutTable(b, std::vector<uint8_t>(284, 9), 11);
         acetest::PutTable(b, std::vector<uint8_t>(255, 8), 11);
         b.Put(0, 15);
         return b.Bytes();
       }, 10, false, ace::TResult::DataError},
      {"a width above the table's maximum", [] {
         Bits b;
         acetest::PutTable(b, std::vector<uint8_t>(284, 12), 12);
         return b.Bytes();
       }, 10, false, ace::TResult::DataError},
      {"a distance before the start", lz([](LzWriter& w) {
         w.Literal('a');
         w.Match(5, 3);
       }), 10, false, ace::TResult::DataError},
      {"a match past the member's end", lz([](LzWriter& w) {
         w.Literal('a');
         w.Match(1, 20);
       }), 10, false, ace::TResult::DataError},
      {"a mode instruction in ACE 1.0", lz([](LzWriter& w) { w.Mode(0); }), 10, false, ace::TResult::DataError},
      {"mode 8", lz([](LzWriter& w) { w.Mode(8); }), 10, true, ace::TResult::DataError},
      {"DELTA of distance 0", lz([](LzWriter& w) {
         w.Mode(1);
         w.bits.Put(0, 8);
         w.bits.Put(4, 17);
       }), 10, true, ace::TResult::DataError},
      {"DELTA not a multiple of its distance", lz([](LzWriter& w) {
         w.Mode(1);
         w.bits.Put(3, 8);
         w.bits.Put(4, 17);
       }), 10, true, ace::TResult::DataError},
      {"DELTA longer than the member", lz([](LzWriter& w) {
         w.Mode(1);
         w.bits.Put(2, 8);
         w.bits.Put(20, 17);
         w.Literals("0123456789");
       }), 10, true, ace::TResult::DataError},
      {"a match across the DELTA block's end", lz([](LzWriter& w) {
         w.Mode(1);
         w.bits.Put(1, 8);
         w.bits.Put(2, 17);
         w.Literal('a');
         w.Match(1, 4);
       }), 10, true, ace::TResult::DataError},
      {"SOUND with fewer than 4 bytes to go", lz([](LzWriter& w) {
         w.Mode(3);
       }), 3, true, ace::TResult::DataError},
      {"PIC of width 0", lz([](LzWriter& w) {
         w.Mode(7);
         w.bits.Put(0, 12);
         w.bits.Put(0, 1);
         w.bits.Put(1, 2);
         w.bits.Put(0, 1);
       }), 10, true, ace::TResult::DataError},
      {"PIC of an absurd width", lz([](LzWriter& w) {
         w.Mode(7);
         w.bits.Put(0, 12);
         for (int i = 0; i < 300; ++i) w.bits.Put(1, 1);
       }), 10, true, ace::TResult::DataError},
      {"PIC plane kind 3", lz([](LzWriter& w) {
         w.Mode(7);
         w.bits.Put(4, 12);
         w.bits.Put(0, 1);
         w.bits.Put(2, 2);  // two planes
         w.bits.Put(0, 1);
         w.bits.Put(1, 1);  // a row
         w.bits.Put(0, 4 + 3);  // plane 0's two pixels
         w.bits.Put(3, 2);
       }), 10, true, ace::TResult::DataError},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.stream(), c.size, c.blocked), c.expected) << c.name;
}

// The archive data, with a comment packed the way comments are: literals, and
// copies from where the same pair of bytes was last seen.
TEST(AceLibrary, ReadsTheArchiveDataAndItsComment) {
  Bits b;
  b.Put(10, 15);
  const ace::THuffman t = acetest::PutTable(b, std::vector<uint8_t>(284, 9), 11);
  acetest::PutSymbol(b, t, 'a');
  acetest::PutSymbol(b, t, 'b');
  acetest::PutSymbol(b, t, 256);  // 2 bytes from 0: abab
  acetest::PutSymbol(b, t, 257);  // the pair "ab" was last seen before 2: 3 bytes from there
  acetest::PutSymbol(b, t, 'c');
  acetest::PutSymbol(b, t, 'c');
  acetest::PutSymbol(b, t, 'c');
  testutil::TempDir d;
  testutil::WriteFile(d.file("c.ace"), acetest::MainHeader(0x8802, 3, 20, b.Bytes()));
  ace::TUnAce lib;
  ace::TArchiveData data;
  EXPECT_EQ(lib.ACEReadArchiveData(d.file("c.ace"), data), ace::kErrorNotReady);
  ASSERT_EQ(lib.ACEInitDll(ace::TInitDll()), 0);
  ASSERT_EQ(lib.ACEReadArchiveData(d.file("c.ace"), data), 0);
  EXPECT_EQ(data.comment, "abababaccc");
  EXPECT_TRUE(data.solid);
  EXPECT_TRUE(data.multiVolume);
  EXPECT_EQ(data.volume, 3);
  EXPECT_EQ(data.verExtract, 20);
  EXPECT_EQ(lib.ACEReadArchiveData(d.file("none.ace"), data), ace::kErrorOpen);
}
