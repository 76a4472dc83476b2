// The ZIP compression methods the extractor decodes, by method number:
// 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated (the stream
// inflater, ISA-L), 9 Deflate64 (the window inflater with the Deflate64 switch
// on). Knows nothing of headers.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

// Result for a method number the engine has no decoder for.
constexpr int kMethodUnsupported = -100;

bool IsSupportedZipMethod(uint16_t method);

// Decodes one entry's data from job.source (already deciphered, its budget
// the compressed size) into job.sink; the caller counts the output. Returns
// a TDecodeResult or kMethodUnsupported. Sets the Deflate64 switch for
// method 9 and clears it for everything else.
int DecodeZipMethod(uint16_t method, uint16_t gpFlags, const TDecodeJob& job);

}  // namespace zid
