// The ZIP compression methods the extractor decodes, by method number:
// 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated (the stream
// inflater, ISA-L), 9 Deflate64 (the window inflater with the Deflate64 switch
// on). Knows nothing of headers.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

class TStream32;

// Result for a method number the engine has no decoder for.
constexpr int kMethodUnsupported = -100;

bool IsSupportedZipMethod(uint16_t method);

// Decodes one entry's data from `input` (already limited to the compressed
// size and deciphered) into job.sink. job.source is filled here; the rest of
// the job (sink, cancel, expected size, progress) comes from the caller.
// `produced` receives the bytes handed to the sink. Returns a TDecodeResult
// or kMethodUnsupported. Sets the Deflate64 switch for method 9 and clears it
// for everything else.
int DecodeZipMethod(uint16_t method, uint16_t gpFlags, TStream32& input, int64_t compressedSize, TDecodeJob job,
                    int64_t& produced);

}  // namespace zid
