// The bit reader and the Huffman tables of the ACE compressed modes.
//
// ACE reads its packed stream as 32-bit little-endian words and takes the
// bits of each word from the top down. The engine's bit reader
// (engine/base/zidBitReader.h) works byte by byte, and the library sits
// beneath the engine, so the word-wise reader lives here.
//
// End of data: a last partial word is completed with zero bytes; after it the
// reader goes on supplying zero words so that a decoder can peek a full code
// width, but consuming any of those bits fails with Truncated.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ace/ace_base.h"

namespace ace {

class TBitReader {
 public:
  explicit TBitReader(TReadFn read);
  TBitReader(const TBitReader&) = delete;
  TBitReader& operator=(const TBitReader&) = delete;

  // The next n bits (n <= 32), first bit most significant, not consumed.
  uint32_t Peek(unsigned n) {
    if (count_ < n) Refill();
    return n == 0 ? 0 : static_cast<uint32_t>(acc_ >> (64 - n));
  }
  // Consumes n bits (n <= count available after a Peek of at least n).
  void Skip(unsigned n) {
    if (count_ < n) Refill();
    acc_ <<= n;
    count_ -= n;
    if (pad_ > count_) Fail(TResult::Truncated);
  }
  uint32_t Read(unsigned n) {
    const uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Golomb-Rice code with parameter k: k low bits first, then a unary part
  // (ones ended by a zero) adding 1 << k each. Values above `cap` are a data error.
  uint32_t GolombRice(unsigned k, uint32_t cap);
  // The signed variant: 0, 1, 2, 3, 4 ... give 0, -1, 1, -2, 2 ...
  int32_t SignedGolombRice(unsigned k, uint32_t cap);

 private:
  void Refill();
  uint32_t NextWord();

  TReadFn read_;
  std::unique_ptr<uint8_t[]> in_;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool ended_ = false;
  uint64_t acc_ = 0;    // the available bits, left-aligned
  unsigned count_ = 0;  // how many
  unsigned pad_ = 0;    // of those, how many (the last ones) lie past the end of the data
};

// A Huffman table of the ACE layout: one code width per symbol, canonical
// codes assigned in the order of the format's own sort (see Build).
class THuffman {
 public:
  static constexpr unsigned kMaxSymbols = 291;  // the sound alphabet (289) plus the extra one

  // Reads a table as transmitted (the widths through a width code, with
  // runs and a running sum) and builds it. A data error on invalid widths.
  void Read(TBitReader& br, unsigned maxWidth, unsigned alphabet);
  // Builds the table from widths[0..n-1] (0 = unused). The widths of the
  // degenerate case (one or no used symbol) are adjusted in place.
  void Build(uint8_t* widths, unsigned n, unsigned maxWidth);
  // The code of symbol s, for writers of ACE streams; false when s has none.
  bool CodeOf(unsigned s, uint32_t& code, unsigned& width) const;
  unsigned Decode(TBitReader& br) const {
    const uint32_t v = br.Peek(maxWidth_);
    if (v >= fill_) Fail(TResult::DataError);
    const uint16_t s = table_[v];
    br.Skip(width_[s]);
    return s;
  }

 private:
  std::vector<uint16_t> table_;
  std::array<uint8_t, kMaxSymbols> width_{};
  unsigned maxWidth_ = 1;
  uint32_t fill_ = 0;
};

}  // namespace ace
