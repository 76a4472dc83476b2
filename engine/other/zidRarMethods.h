// The methods of RAR archives.
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// 0x30 stored, 0x31 to 0x35 the compression levels. A compressed record's
// decode takes the entry's unpack version as flags (15, 20, 26) and decodes
// an entry that starts its own stream (not a solid continuation).
const TMethodTable& RarMethods();

}  // namespace zid
