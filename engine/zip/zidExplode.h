// Explode: the decoder of PKWARE's implode method (ZIP method 6). Sliding
// dictionary of 4 or 8 KiB, two or three Shannon-Fano trees sent at the start
// of the data. There is no end marker: decoding stops at job.expectedSize.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

struct TExplodeOptions {
  bool dict8k = false;       // 8 KiB dictionary (7 low distance bits), else 4 KiB (6)
  bool literalTree = false;  // literals coded through a tree (minimum match 3), else raw bytes (minimum match 2)
};

// The options as a ZIP entry's general purpose flags give them (bits 1 and 2).
TExplodeOptions ExplodeOptionsFromFlags(uint16_t gpFlags);

// Returns drOk once job.expectedSize bytes are written (or, when the size is
// unknown, when the input ends), drInputExhausted when the data ends first,
// drInvalidData for a bad tree (counts that do not add up to the tree size,
// an over-subscribed or incomplete code) or a code outside its tree,
// drOutputFailed or drCancelled. A distance reaching before the start of the
// output copies zero bytes, as PKWARE's own decoder does.
int Explode(const TDecodeJob& job, const TExplodeOptions& options);

}  // namespace zid
