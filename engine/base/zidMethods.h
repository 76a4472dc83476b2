// Method names as the listings and the extractors show them.
#pragma once

#include <cstdint>
#include <string>

namespace zid {

enum class TMethodFamily { Zip, Lha, Arj, Bh, Cab, Ace, Arc, Pak, Rar, Ha, GZip, Tar, Zoo };

// GZIP-family magic numbers passed as the method for the old single-stream formats.
constexpr int kGzPackMagic = 0x1F1E;
constexpr int kGzLzhMagic = 0x1FA0;

// The text for a stored method number. flags: the ZIP/BH general purpose flags
// (the Deflate flavour lives in bits 1-2); attr: the external attributes (bit
// 0x10 = folder); for LHA the method is the method character ('0'..'7', 'd').
// Numbers not covered give "Unsupported".
std::string MethodName(TMethodFamily family, int method, uint32_t flags = 0, uint32_t attr = 0);

}  // namespace zid
