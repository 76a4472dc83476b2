// The "decoder" of stored entries: copies the input to the sink.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Copies until job.expectedSize bytes are written (when the size is unknown:
// until the input ends). drInputExhausted when the input ends first;
// drOutputFailed or drCancelled.
int CopyStored(const TDecodeJob& job);

}  // namespace zid
