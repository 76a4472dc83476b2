// Unreduce: the decoder of ZIP methods 2 to 5 (PKZIP 0.9 "reducing", factors
// 1 to 4): probabilistic follower sets feeding a DLE-escaped LZ77 stage over a
// 4 KiB history.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// factor is the compression factor, method - 1 (1..4). Returns drOk once
// job.expectedSize bytes are written (when the size is unknown: when the input
// ends), drInputExhausted when the data ends first, drInvalidData for a factor
// outside 1..4, a follower set of more than 32 bytes or an index past the end
// of its set, drOutputFailed or drCancelled. A distance reaching before the
// start of the output copies zero bytes.
int Unreduce(const TDecodeJob& job, int factor);

}  // namespace zid
