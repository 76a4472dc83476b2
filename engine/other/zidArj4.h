// The decoder of ARJ method 4 ("fastest"): LZ77 over a 32 KiB window with
// fixed unary-prefixed codes, read most significant bit first. A length
// code of 0 is followed by a literal byte; any other value v is a match of
// v + 2 bytes whose position code follows.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Returns drOk once job.expectedSize bytes are written (when the size is
// unknown: when the input ends), drInputExhausted when the data ends first,
// drInvalidData ("Bad block") for a match that reaches before the start of
// the output, drOutputFailed or drCancelled.
int ArjDecode4(const TDecodeJob& job);

}  // namespace zid
