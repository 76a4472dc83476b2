// The window inflater: raw DEFLATE (RFC 1951) and, with the engine-wide
// Deflate64 switch on, PKWARE's Deflate64 (64 KiB window, length code 285 =
// 3 + 16 extra bits, distance codes 30 and 31). One decoder core serves both.
// It pushes its output through the job's sink one whole window at a time.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// The Deflate64 switch. The ZIP extractor turns it on only while it decodes a
// method 9 entry and off for everything else; other users leave it off. One
// decode at a time, like the rest of the engine.
void SetDeflate64(bool on);
bool Deflate64Enabled();

// Decodes one raw DEFLATE stream, Deflate64 when deflate64 is set.
// Returns drOk (the final block ended and every byte was written),
// drOutputFailed, drInputExhausted, drInvalidData or drCancelled. Output never
// passes job.expectedSize (when known): a stream that would produce more is
// drInvalidData. Memory: the window (32 or 64 KiB), 32 KiB of input, the tables.
int InflateWindow(const TDecodeJob& job, bool deflate64);

}  // namespace zid
