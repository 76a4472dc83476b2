// ARC's first LZW ("crunched", methods 5 to 7): codes of a fixed 12 bits,
// most significant bit first, where a code is not a running number but the
// slot of a 4096-entry table a hash of the string's prefix code and last
// byte chose (method 7 a newer hash than 5 and 6). Collisions chain to a free
// slot from 101 past the chain's end. The table starts with the 256 bytes
// hashed in and takes no more strings once full; there is no clear code.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// Returns drOk when job.expectedSize bytes are written (when the size is
// unknown: at the end of the input), drInputExhausted when the input ends
// first, drInvalidData for a first code on a slot that holds no byte or an
// undefined code that is not the one being defined,
// drOutputFailed or drCancelled.
int ArcOldLzwDecode(const TDecodeJob& job, bool newHash);

}  // namespace zid
