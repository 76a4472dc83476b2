// Helpers of the LHA extraction tests: byte builders for hand-made (and
// hostile) LHA headers, a test-side LZH block writer with code lengths the
// test chooses, and runners that extract or list under a 20 s watchdog and
// collect what the components reported.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidCrc.h"
#include "engine/base/zidDecoder.h"
#include "engine/lha/zidUnLha.h"
#include "support/component_runner.h"
#include "support/memory_decode.h"
#include "support/le_bytes.h"
#include "support/testutil.h"

namespace unlhatest {

using testutil::Put8;
using testutil::Put16;
using testutil::Put32;
inline uint16_t Crc16(const std::string& s) { return zid::Crc16Of(s.data(), static_cast<int64_t>(s.size())); }

// ---- headers -------------------------------------------------------------------

struct Ext {
  uint8_t type;
  std::string data;
};

struct Entry {
  int level = 0;
  std::string method = "-lh0-";
  std::string name;          // levels 0/1: in the base header; level 2: a type-1 extension
  std::string packed;        // the data as stored
  std::string original;      // for the size and the CRC-16
  uint32_t time = 0x58210000;  // DOS date-time (levels 0/1) or Unix time (level 2)
  uint8_t attr = 0x20;
  uint8_t osId = 'M';
  std::vector<Ext> exts;     // levels 1/2: extensions after the name
  int sizeAdjust = 0;        // added to the stored header size (hostile headers)
  int crcAdjust = 0;         // added to the stored CRC-16
};

// One entry, header and data.
inline std::string Header(const Entry& e) {
  const uint16_t crc = static_cast<uint16_t>(Crc16(e.original) + e.crcAdjust);
  std::string h;
  auto common = [&](std::string& b) {
    b += e.method.substr(0, 5);
    Put32(b, static_cast<uint32_t>(e.packed.size()));
    Put32(b, static_cast<uint32_t>(e.original.size()));
    Put32(b, e.time);
    Put8(b, e.attr);
    Put8(b, static_cast<uint32_t>(e.level));
  };
  // chain of extension blocks: each announces the next one's size
  std::vector<Ext> exts = e.exts;
  if (e.level == 2) exts.insert(exts.begin(), Ext{1, e.name});
  std::string chain;
  std::vector<uint16_t> sizes;
  for (const Ext& x : exts) sizes.push_back(static_cast<uint16_t>(x.data.size() + 3));
  for (size_t i = 0; i < exts.size(); ++i) {
    Put8(chain, exts[i].type);
    chain += exts[i].data;
    Put16(chain, i + 1 < exts.size() ? sizes[i + 1] : 0);
  }
  const uint16_t first = sizes.empty() ? 0 : sizes[0];
  if (e.level == 0 || e.level == 1) {
    std::string b;
    common(b);
    Put8(b, static_cast<uint32_t>(e.name.size()));
    b += e.name;
    Put16(b, crc);
    if (e.level == 1) {
      Put8(b, e.osId);
      Put16(b, first);
    }
    // level 1: the extensions count in the packed size
    if (e.level == 1) {
      const uint32_t packed = static_cast<uint32_t>(e.packed.size() + chain.size());
      b[5] = static_cast<char>(packed & 0xFF);
      b[6] = static_cast<char>((packed >> 8) & 0xFF);
      b[7] = static_cast<char>((packed >> 16) & 0xFF);
      b[8] = static_cast<char>(packed >> 24);
    }
    unsigned sum = 0;
    for (char c : b) sum += static_cast<uint8_t>(c);
    Put8(h, static_cast<uint32_t>(b.size() + e.sizeAdjust));
    Put8(h, sum & 0xFF);
    h += b;
    if (e.level == 1) h += chain;
  } else {
    std::string b;
    common(b);
    Put16(b, crc);
    Put8(b, e.osId);
    Put16(b, first);
    b += chain;
    Put16(h, static_cast<uint32_t>(b.size() + 2 + e.sizeAdjust));
    h += b;
  }
  return h + e.packed;
}

inline std::string Stored(const std::string& name, const std::string& data, int level = 0) {
  Entry e;
  e.level = level;
  e.name = name;
  e.packed = e.original = data;
  return Header(e);
}

// ---- LZH blocks --------------------------------------------------------------------

// Bits most significant first.
class BitWriter {
 public:
  void Put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++n_ == 8) Flush();
    }
  }
  std::string Finish() {
    while (n_ != 0) Put(0, 1);
    return out_;
  }

 private:
  void Flush() {
    out_.push_back(static_cast<char>(acc_));
    acc_ = 0;
    n_ = 0;
  }
  std::string out_;
  uint8_t acc_ = 0;
  unsigned n_ = 0;
};

// A token of an LZH block: a literal byte, or a match of `len` bytes that
// starts dist + 1 bytes back.
struct Token {
  int literal = -1;
  unsigned len = 0;
  unsigned dist = 0;
};
inline Token Lit(uint8_t b) { return Token{b, 0, 0}; }
inline Token Match(unsigned len, unsigned dist) { return Token{-1, len, dist}; }

// Writes one block with flat codes: every literal/length symbol 9 bits,
// every position symbol 5 bits, every code-length symbol 5 bits (all
// incomplete sets, which the decoder takes). np: the method's position
// codes; pbit its count width.
inline void FlatBlock(BitWriter& w, const std::vector<Token>& tokens, unsigned np, unsigned pbit) {
  w.Put(static_cast<uint32_t>(tokens.size()), 16);
  // code-length code: 19 symbols of length 5 ("101"), no zeros after index 3
  w.Put(19, 5);
  for (int i = 0; i < 19; ++i) {
    w.Put(5, 3);
    if (i == 2) w.Put(0, 2);
  }
  // literal/length lengths: 510 times 9, coded as code-length symbol 11 (its 5-bit code is 11)
  w.Put(510, 9);
  for (int i = 0; i < 510; ++i) w.Put(11, 5);
  // position lengths: np times 5
  w.Put(np, pbit);
  for (unsigned i = 0; i < np; ++i) w.Put(5, 3);
  for (const Token& t : tokens) {
    if (t.literal >= 0) {
      w.Put(static_cast<uint32_t>(t.literal), 9);
      continue;
    }
    w.Put(t.len + 253, 9);
    unsigned p = 0;
    while ((t.dist >> p) != 0) ++p;  // 0 for distance 0, else the bit length
    w.Put(p, 5);
    if (p > 1) w.Put(t.dist - (1u << (p - 1)), p - 1);
  }
}

// ---- decoding and running ----------------------------------------------------------

using testutil::Decoded;

inline Decoded Decode(const std::string& in, int64_t expected, const testutil::DecodeFn& fn) {
  return testutil::Decode(fn, in, expected);
}

using Report = testutil::ExtractReport;
using testutil::Watchdog;

// Extracts archive into dir (dir empty: test mode).
inline Report Extract(const std::string& archive, const std::string& dir,
                      const std::function<void(zid::TUnLha&)>& setup = nullptr) {
  return testutil::RunExtractor<zid::TUnLha>(archive, dir, setup);
}

struct Listed {
  std::string name;
  int64_t unpacked = 0;
  double date = 0;
};

struct Listing {
  std::vector<Listed> entries;
  std::vector<int> errors;
};

inline Listing List(const std::string& archive) {
  Listing res;
  res.errors = testutil::RunLister(
      archive, [&res](const zid::TRizER& s, int) { res.entries.push_back({s.FileName, s.UnpackedSize, s.FileDate}); },
      [](zid::TRizER& r) { r.ShowEmptyDirs = true; });
  return res;
}

}  // namespace unlhatest
