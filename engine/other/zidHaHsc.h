// HA's HSC method: a finite-context model of orders 0 to 4 (10,000 contexts
// in a hash table, recycled least recently used first; 32,760 frequency
// cells), escaping to shorter contexts with the characters already ruled out
// masked, down to a flat model of the 256 bytes whose own escape ends the
// data. Every probability goes through HA's arithmetic coder.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// drOk at the end symbol (or once job.expectedSize bytes are out),
// drInputExhausted when the input ends first, drInvalidData when the coder
// is asked for an impossible interval, drOutputFailed or drCancelled.
int HaHscDecode(const TDecodeJob& job);

}  // namespace zid
