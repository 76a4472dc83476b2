// HA's ASC method: LZ77 over a 31,200-byte window whose literals, lengths and
// distances are coded arithmetically with adaptive frequency trees, a small
// order-2 model choosing between literal and match, and an end symbol.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// drOk at the end symbol (or once job.expectedSize bytes are out),
// drInputExhausted when the input ends first, drInvalidData ("Bad block") for
// a distance before the start of the output or a model the data breaks,
// drOutputFailed or drCancelled.
int HaAscDecode(const TDecodeJob& job);

}  // namespace zid
