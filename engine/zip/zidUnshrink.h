// Unshrink: the decoder of ZIP method 1 (PKZIP 1.x "shrinking"), dynamic LZW
// with codes of 9 to 13 bits and a partial clear instead of a full reset.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Returns drOk once job.expectedSize bytes are written (when the size is
// unknown: when the input ends), drInputExhausted when the data ends first,
// drInvalidData ("Bad block") for a control code other than 1 or 2, a width
// past 13 bits, a first code that is not a literal or a code that is neither
// defined nor the next free one (a freed code, or any undefined code once the
// table is full), drStackOverflow for a string longer than the 8 KiB decode
// stack, drOutputFailed or drCancelled.
int Unshrink(const TDecodeJob& job);

}  // namespace zid
