// The methods of ARC and PAK archives (one header format, two method sets).
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// 1-2 stored, 3 packed, 4 squeezed, 5-8 crunched, 9 squashed; 30 an ARC 6 folder.
const TMethodTable& ArcMethods();
// PAK's names for the same numbers, 10 crushed and 11 distilled.
const TMethodTable& PakMethods();

}  // namespace zid
