// The LZW decoder of ZOO method 1: codes of 9 to 13 bits read least
// significant bit first, 256 clears the table, 257 ends the data, and the
// first free code is 258. The code width grows as soon as the next free code
// reaches the current limit.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Returns drOk at the end code or once job.expectedSize bytes are written (the
// caller compares the count when the end code came early), drInputExhausted
// when the data ends before either, drInvalidData ("Bad block") for a code
// that is neither defined nor the next free one, a first code after a clear
// that is not a byte, or a stream that keeps adding strings after the
// 8192-entry table is full; drOutputFailed or drCancelled.
int ZooLzwDecode(const TDecodeJob& job);

}  // namespace zid
