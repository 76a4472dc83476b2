// The method tables of the LZH family's archives: LHA (by the stored
// "-lh5-" text) and BH (by the method number).
#pragma once

#include "engine/base/zidMethods.h"

namespace zid {

// -lh0- to -lh7-, -lhd-, LArc's -lz4-, -lz5-, -lzs-. The id is the fourth
// character of the text; look methods up by their text (FindTag): LArc's
// -lz5- is not -lh5- whatever its digit says.
const TMethodTable& LhaMethods();
// BH: 0 stored, 1 Fused1, 2 and 8 Deflate, 3 Fused3. Encrypted entries are
// deciphered in the decode job's source, before these decoders see them.
const TMethodTable& BhMethods();
// The listing name of a BH method: the Deflate flavour from the flags.
std::string BhMethodName(int method, uint32_t flags);

}  // namespace zid
