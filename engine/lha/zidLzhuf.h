// The -lh1- decoder: LZHUF, LZSS over a 4 KiB ring with adaptive Huffman
// coding of literals and match lengths (314 symbols, the tree rebuilt with
// halved frequencies when the root's reaches 0x8000) and a fixed code for the
// upper 6 bits of match positions. The ring starts as 4036 spaces and output
// starts at position 4036; a match of c - 253 bytes starts distance + 1 bytes
// back. Bits are read most significant first.
//
// Contract as LzhDecode (zidLzh5.h): the job's expectedSize must be known;
// results drOk, drInputExhausted, drOutputFailed, drCancelled (every bit
// string decodes to some symbol, so there is no drInvalidData).
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

int LzhufDecode(const TDecodeJob& job);

}  // namespace zid
