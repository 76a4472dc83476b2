// The LZW core of Unix compress (.Z), ZOO's method 1 and ARC's crunched (8)
// and squashed (9) entries: codes read least significant bit first, growing
// from 9 bits to a maximum width as the table fills, each code one earlier
// string plus one byte. The formats differ in a few parameters, one record
// each (TLzwParams).
//
// Output stops at job.expectedSize when that is known (data beyond it is not
// read); the input ending is the end of the data when the size is unknown,
// else drInputExhausted. The first code (and the first after a ZOO clear)
// must be a byte; a code beyond the next free one is drInvalidData ("Bad
// block"): the one code allowed past the table is the next free code itself,
// the string just being defined.
#pragma once

#include "engine/base/zidBitReader.h"
#include "engine/base/zidDecoder.h"

namespace zid {

struct TLzwParams {
  unsigned maxWidth = 16;  // 9..16: the table holds 1 << maxWidth codes
  bool clearCode = true;   // 256 empties the table
  // compress (false): codes come in groups of eight, and when the width
  // changes or a clear comes the rest of the group being read is padding;
  // after a clear the decode goes on from the code before it (its next string
  // hides at 256); a full table just takes no more strings.
  // ZOO (true): 257 ends the data and the first free code is 258; codes are
  // not grouped; after a clear a byte starts again and defines nothing; a
  // stream that goes on adding strings to a full table is refused (ZOO's
  // encoder clears before).
  bool zoo = false;
};

// .Z with the header's maximum width and block mode.
TLzwParams CompressLzwParams(unsigned maxWidth, bool blockMode);
// ZOO's method 1: 9 to 13 bits, clear 256, end 257.
extern const TLzwParams kZooLzw;
// ARC's crunched (12 bits) and squashed (13 bits) entries: compress's block mode.
extern const TLzwParams kArcCrunch;
extern const TLzwParams kArcSquash;

// Decodes codes from br (whose source is job.source) into job.sink. Returns
// drOk, drInputExhausted, drInvalidData, drOutputFailed or drCancelled.
// Memory: the tables of 1 << maxWidth codes (5 bytes each) and an output
// buffer of 128 KiB and that many bytes.
int LzwDecode(const TDecodeJob& job, TBitReader& br, const TLzwParams& p);
int LzwDecode(const TDecodeJob& job, const TLzwParams& p);

}  // namespace zid
