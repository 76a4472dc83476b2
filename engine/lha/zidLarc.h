// The LZSS methods of LArc, which LHA archives can carry:
// -lz5-: a 4 KiB ring whose initial contents are a fixed pattern, output from
//   position 4078; a flag byte (read from its low bit up) announces eight
//   items, 1 a literal byte, 0 a two-byte match (12-bit ring position, 4-bit
//   length + 3).
// -lzs-: a 2 KiB ring of spaces, output from position 2031; a 1 bit then a
//   literal byte, a 0 bit then an 11-bit ring position and a 4-bit length + 2,
//   bits read most significant first.
// (-lz4- is stored.)
//
// Contract as LzhDecode (zidLzh5.h): the job's expectedSize must be known;
// results drOk, drInputExhausted, drOutputFailed, drCancelled.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

int Lz5Decode(const TDecodeJob& job);
int LzsDecode(const TDecodeJob& job);

}  // namespace zid
