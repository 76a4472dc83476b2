// ARC's squeezed data (method 4, before its run-length step): a node count
// (16 bits), that many nodes of two 16-bit children each, then the codes,
// least significant bit first. A child >= 0 is a node, -1 - v a leaf for
// byte v, -257 the end of the data.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Returns drOk at the end symbol (or, when job.expectedSize is known, once
// that many bytes are written; when it is not, at the end of the input),
// drInputExhausted when the input ends before either, drInvalidData ("Bad
// block") for more than 256 nodes or a child naming a node outside the tree,
// drOutputFailed or drCancelled.
int ArcUnsqueeze(const TDecodeJob& job);

}  // namespace zid
