// The methods of HA archives.
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// 0 CPY, 1 ASC, 2 HSC; 14 a folder, 15 a special file.
const TMethodTable& HaMethods();

}  // namespace zid
