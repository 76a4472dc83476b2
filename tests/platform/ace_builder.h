// Builds ACE data in the tests: bit streams (32-bit little-endian words filled
// from the top bit), Huffman tables in their transmitted form, LZ77 symbols
// and ACE 2.0 mode instructions, and whole archives with correct header CRCs,
// optionally encrypted, split over volumes, or damaged on purpose.
#pragma once

#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/ace/ace_base.h"
#include "platform/ace/ace_bits.h"
#include "platform/ace/ace_crypt.h"
#include "support/le_bytes.h"

namespace acetest {

// Bits in the order the decoder reads them.
class Bits {
 public:
  void Put(uint32_t value, unsigned n) {
    for (unsigned k = n; k-- > 0;) bits_.push_back(((value >> k) & 1) != 0);
  }
  size_t Size() const { return bits_.size(); }
  // Overwrites n bits at a position written before (a count known only later).
  void Patch(size_t at, uint32_t value, unsigned n) {
    for (unsigned k = 0; k < n; ++k) bits_[at + k] = ((value >> (n - 1 - k)) & 1) != 0;
  }
  std::string Bytes() const {
    std::string out;
    for (size_t w = 0; w < bits_.size(); w += 32) {
      uint32_t word = 0;
      for (size_t k = 0; k < 32; ++k)
        if (w + k < bits_.size() && bits_[w + k]) word |= 1u << (31 - k);
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<char>(word >> (8 * b)));
    }
    return out;
  }

 private:
  std::vector<bool> bits_;
};

// Sends a table of the given widths (lo 0, hi 15, a width code of sixteen
// 4-bit codes, no runs) and returns the table the decoder builds from it.
inline ace::THuffman PutTable(Bits& b, std::vector<uint8_t> widths, unsigned maxWidth) {
  b.Put(static_cast<uint32_t>(widths.size() - 1), 9);
  b.Put(0, 4);
  b.Put(15, 4);
  uint8_t ww[16];
  for (uint8_t& w : ww) {
    w = 4;
    b.Put(4, 3);
  }
  ace::THuffman code;
  code.Build(ww, 16, 7);
  uint8_t prev = 0;
  for (uint8_t w : widths) {
    uint32_t c;
    unsigned n;
    code.CodeOf(static_cast<unsigned>((w + 15 - prev) % 15), c, n);
    b.Put(c, n);
    prev = w;
  }
  ace::THuffman t;
  t.Build(widths.data(), static_cast<unsigned>(widths.size()), maxWidth);
  return t;
}

inline void PutSymbol(Bits& b, const ace::THuffman& t, unsigned s) {
  uint32_t c = 0;
  unsigned n = 0;
  if (!t.CodeOf(s, c, n)) throw std::logic_error("symbol without a code");
  b.Put(c, n);
}

// An LZ77 stream of one symbol block: literals, matches, mode instructions.
class LzWriter {
 public:
  LzWriter() {
    main_ = PutTable(bits, std::vector<uint8_t>(284, 9), 11);
    len_ = PutTable(bits, std::vector<uint8_t>(255, 8), 11);
    countAt_ = bits.Size();
    bits.Put(0, 15);
  }
  void Literal(uint8_t c) { Main(c); }
  void Literals(const std::string& s) {
    for (char c : s) Literal(static_cast<uint8_t>(c));
  }
  // A match with a new distance (1 = the previous byte).
  void Match(uint32_t distance, uint32_t length) {
    const uint32_t d = distance - 1;
    const unsigned w = static_cast<unsigned>(std::bit_width(d));
    Main(260 + w);
    if (w >= 2) bits.Put(d - (1u << (w - 1)), w - 1);
    PutSymbol(bits, len_, length - (d <= 255 ? 2 : d <= 8191 ? 3 : 4));
  }
  // A match with recent distance slot k (0 = the newest).
  void Recent(unsigned slot, uint32_t length) {
    Main(256 + slot);
    PutSymbol(bits, len_, length - (slot < 2 ? 2 : 3));
  }
  // Symbol 283 and the instruction's mode byte; parameters follow through bits.
  void Mode(uint8_t mode) {
    Main(283);
    bits.Put(mode, 8);
  }
  // The stream; the block's symbol count is filled in.
  std::string Bytes() {
    bits.Patch(countAt_, count_, 15);
    return bits.Bytes();
  }
  Bits bits;

 private:
  void Main(unsigned s) {
    PutSymbol(bits, main_, s);
    ++count_;
  }
  ace::THuffman main_, len_;
  size_t countAt_ = 0;
  uint32_t count_ = 0;
};

// ---- archives -----------------------------------------------------------------------

using testutil::Put8;
using testutil::Put16;
using testutil::Put32;
inline uint32_t AceCrc(const std::string& s) {
  return ace::Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// A block: CRC and size in front of the body (which starts with the type).
inline std::string Block(const std::string& body) {
  std::string b;
  Put16(b, static_cast<uint16_t>(AceCrc(body) & 0xFFFF));
  Put16(b, static_cast<uint16_t>(body.size()));
  return b + body;
}

inline std::string MainHeader(uint16_t flags = 0, uint8_t volume = 0, uint8_t version = 20,
                              const std::string& packedComment = std::string()) {
  std::string b;
  Put8(b, 0);
  Put16(b, flags);
  b += "**ACE**";
  Put8(b, version);
  Put8(b, version);
  Put8(b, 2);  // Win32
  Put8(b, volume);
  Put32(b, 0x58216000);
  b.append(8, '\0');
  if (flags & 0x0002) {
    Put16(b, static_cast<uint16_t>(packedComment.size()));
    b += packedComment;
  }
  return Block(b);
}

struct Member {
  std::string name;
  std::string data;    // the plain bytes
  std::string packed;  // the bytes stored (empty: the data, stored)
  uint8_t compType = 0;
  uint8_t quality = 3;
  uint16_t flags = 0x0001;
  uint32_t attr = 0x20;
  int64_t packSize = -1;  // as declared (-1: the packed bytes' length)
  int64_t origSize = -1;  // as declared (-1: the data's length)
  int64_t crc = -1;       // as declared (-1: the data's)
};

inline Member File(const std::string& name, const std::string& data, const std::string& packed = std::string()) {
  Member m;
  m.name = name;
  m.data = data;
  m.packed = packed;
  return m;
}
inline Member Dir(const std::string& name) {
  Member m;
  m.name = name;
  m.attr = 0x10;
  return m;
}

inline std::string FileHeader(const Member& m, size_t packedLength) {
  std::string b;
  Put8(b, 1);
  Put16(b, m.flags);
  Put32(b, static_cast<uint32_t>(m.packSize >= 0 ? m.packSize : static_cast<int64_t>(packedLength)));
  Put32(b, static_cast<uint32_t>(m.origSize >= 0 ? m.origSize : static_cast<int64_t>(m.data.size())));
  Put32(b, 0x58216000);
  Put32(b, m.attr);
  Put32(b, static_cast<uint32_t>(m.crc >= 0 ? m.crc : AceCrc(m.data)));
  Put8(b, m.compType);
  Put8(b, m.quality);
  Put16(b, 10);  // a 1 MiB dictionary
  Put16(b, 0);
  Put16(b, static_cast<uint16_t>(m.name.size()));
  return Block(b + m.name);
}

inline std::string Entry(const Member& m) {
  const std::string& packed = m.packed.empty() && m.compType == 0 ? m.data : m.packed;
  return FileHeader(m, packed.size()) + packed;
}

inline std::string Archive(const std::vector<Member>& members, uint16_t mainFlags = 0) {
  std::string s = MainHeader(mainFlags);
  for (const Member& m : members) s += Entry(m);
  return s;
}

// Blowfish-CBC with a zero IV over the data padded to whole blocks.
inline std::string Encrypt(std::string data, const std::string& password) {
  data.resize((data.size() + 7) / 8 * 8, '\0');
  ace::TBlowfish bf(ace::DeriveKey(password));
  uint32_t pl = 0, pr = 0;
  auto* p = reinterpret_cast<uint8_t*>(data.data());
  for (size_t i = 0; i < data.size(); i += 8) {
    uint32_t l = ace::Le32(p + i) ^ pl, r = ace::Le32(p + i + 4) ^ pr;
    bf.Encrypt(l, r);
    for (int k = 0; k < 4; ++k) {
      p[i + k] = static_cast<uint8_t>(l >> (8 * k));
      p[i + 4 + k] = static_cast<uint8_t>(r >> (8 * k));
    }
    pl = l;
    pr = r;
  }
  return data;
}

}  // namespace acetest
