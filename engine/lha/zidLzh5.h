// LzhDecode: the static-Huffman LZ77 block decoder of the LZH family, shared
// by LHA (-lh4- to -lh7-), BH (Fused1, Fused3), ARJ (methods 1 to 3) and ZOO
// (method 2). The methods differ only in the parameters below.
//
// Stream format: blocks, each a 16-bit count of codes, the code-length code
// lengths (NT = 19, 5-bit count, special index 3), the literal/length code
// lengths (NC = 510, 9-bit count), the position code lengths (NP = dicBit + 1,
// pBit-bit count), then that many codes. Code c < 256 is a literal; c >= 256
// a match of c - 253 bytes whose distance comes from a position code p:
// 0 for p = 0, else 2^(p-1) plus p - 1 further bits, copied from distance + 1
// bytes back. A zero count in a table header means "one symbol, no bits".
// Bits are read most significant first.
//
// Contract: the stream has no end marker, so the job's expectedSize must be
// known (a negative size gives drInvalidData); decoding ends when that many
// bytes are produced, and never goes past it. Reads never pass the source's
// budget. Results: drOk; drInputExhausted when the input ends first (the
// output up to that point has been written); drInvalidData for a table that
// cannot be built, a zero block count, an invalid code or a distance that
// reaches before the start of the output or beyond the method's window;
// drOutputFailed; drCancelled.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

struct TMethod;

struct TLzhParams {
  unsigned dicBit;  // dictionary bits: NP = dicBit + 1 position codes, a window of 1 << dicBit bytes
  unsigned pBit;    // bit width of the position-code count in a block header
  // The farthest a match may reach when the format's window is smaller than
  // its position codes could say (ARJ: 26624 bytes); 0: 1 << dicBit.
  uint32_t window = 0;
};

// The rows the callers use.
inline constexpr TLzhParams kLzhLh4{12, 4};
inline constexpr TLzhParams kLzhLh5{13, 4};
inline constexpr TLzhParams kLzhLh6{15, 5};
inline constexpr TLzhParams kLzhLh7{16, 5};
inline constexpr TLzhParams kLzhFused1{13, 4};
inline constexpr TLzhParams kLzhFused3{15, 5};
inline constexpr TLzhParams kLzhArj{16, 5, 26624};
inline constexpr TLzhParams kLzhZooMethod2{13, 4};

// The parameters of a method record (its dicBit and pBit).
TLzhParams LzhParamsOf(const TMethod& m);

int LzhDecode(const TDecodeJob& job, const TLzhParams& p);

}  // namespace zid
