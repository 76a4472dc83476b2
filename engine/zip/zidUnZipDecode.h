// The ZIP compression methods: the family's method table (names, decoders)
// and the decode step of one entry. Knows nothing of headers.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidDecoder.h"
#include "engine/base/zidMethods.h"

namespace zid {

// Result for a method number the engine has no decoder for.
constexpr int kMethodUnsupported = -100;

// 0 stored, 1 shrunk, 2-5 reduced, 6 imploded, 8 deflated (the stream
// inflater, ISA-L), 9 Deflate64 (the window inflater); 7 and 10 listed only.
const TMethodTable& ZipMethods();
// The listing name: the Deflate flavour from the flags, "<Dir>" for an
// unknown method on a folder (attr bit 0x10).
std::string ZipMethodName(int method, uint32_t flags, uint32_t attr);
bool IsSupportedZipMethod(uint16_t method);

// Decodes one entry's data from job.source (already deciphered, its budget
// the compressed size) into job.sink; the caller counts the output. Returns
// a TDecodeResult or kMethodUnsupported.
int DecodeZipMethod(uint16_t method, uint16_t gpFlags, const TDecodeJob& job);

}  // namespace zid
