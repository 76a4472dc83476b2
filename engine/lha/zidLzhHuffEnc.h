// Code construction for the static-Huffman LZH encoders: length-limited
// Huffman code lengths from symbol frequencies, and the canonical codes the
// LZH decoders rebuild from those lengths (shorter codes first, equal lengths
// in symbol order, read most significant bit first).
#pragma once

#include <cstdint>

namespace zid {

// The longest code the LZH block format can describe.
constexpr unsigned kLzhMaxCodeLen = 16;

struct TLzhCode {
  // Number of symbols with a nonzero frequency. 0 or 1: no lengths were
  // built (all zero) and `single` is the one symbol (0 when none).
  unsigned used = 0;
  unsigned single = 0;
};

// Builds lengths (at most kLzhMaxCodeLen) and codes for freq[0..n). The code
// is always complete when two or more symbols occur, as the decoders require.
TLzhCode LzhMakeCode(const uint32_t* freq, unsigned n, uint8_t* len, uint16_t* code);

}  // namespace zid
