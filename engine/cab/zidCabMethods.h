// The compression types of cabinet folders.
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// By the low four bits of the folder's type: 0 stored, 1 MSZIP, 2 Quantum,
// 3 LZX (its window in the high bits). The writer offers stored and MSZIP
// (LZX and Quantum are refused when written).
const TMethodTable& CabMethods();
// The listing name of a folder's full type value ("Lzx" for 0x1503).
std::string CabMethodName(int type);

}  // namespace zid
