// The methods of RAR archives.
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// 0x30 stored, 0x31 to 0x35 the compression levels.
const TMethodTable& RarMethods();

}  // namespace zid
