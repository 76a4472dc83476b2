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

struct TLzhParams {
  uint8_t crcWidth;  // 16 or 32: the checksum the caller keeps over the output
  unsigned dicBit;   // dictionary bits: NP = dicBit + 1 position codes
  unsigned pBit;     // bit width of the position-code count in a block header
  // Below 5: a 26624-byte window (the farthest a match may reach); 5 or more:
  // 65536 bytes. 1 (BH encryption) and 2 (ARJ garbling) also tell the caller
  // to decipher the input in its TDecodeSource; the decoder itself does not.
  unsigned variant;
};

// The rows the callers use.
inline constexpr TLzhParams kLzhLh4{16, 12, 4, 3};
inline constexpr TLzhParams kLzhLh5{16, 13, 4, 3};
inline constexpr TLzhParams kLzhLh6{16, 15, 5, 5};
inline constexpr TLzhParams kLzhLh7{16, 16, 5, 6};
inline constexpr TLzhParams kLzhZooMethod2{16, 13, 4, 0};
inline constexpr unsigned kLzhVariantBhEncrypted = 1;
inline constexpr unsigned kLzhVariantArjGarbled = 2;

// LHA: the parameters for the method's digit ('4' to '7'); false for others.
bool LzhLhaParams(char digit, TLzhParams& p);
// BH: Fused1 (method 1) or Fused3 (method 3); false for others.
bool LzhBhParams(unsigned method, bool encrypted, TLzhParams& p);
// ARJ methods 1, 2 and 3 share one row.
TLzhParams LzhArjParams(bool garbled);

int LzhDecode(const TDecodeJob& job, const TLzhParams& p);

}  // namespace zid
