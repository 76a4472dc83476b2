// The stream inflater for raw DEFLATE (RFC 1951): ISA-L's igzip, about twice
// as fast as zlib's inflate here, without holding a whole entry in memory.
// Used for ZIP method 8; the window inflater (zidInflate) stays for Deflate64
// and for callers that need its exact input accounting.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

// Decodes one raw DEFLATE stream from job.source (at most its budget) into
// job.sink, in chunks of up to 256 KiB. Output stops at job.expectedSize when
// it is known (like zlib's path, a longer stream is cut there and left to the
// CRC check). `produced` receives the bytes handed to the sink.
// Returns drOk, drInputExhausted (the data ended before the final block),
// drInvalidData, drOutputFailed or drCancelled.
// The input may be read a few bytes past the end of the stream: give it a
// source bounded to the stream (a ZIP entry's compressed size).
int InflateRaw(const TDecodeJob& job, int64_t& produced);

}  // namespace zid
