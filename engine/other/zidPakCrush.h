// PAK's crushed data (method 10, before its run-length step): LZW of 1 to 13
// bits over 8,192 codes, literals sent either behind a flag bit or as codes of
// the current width (with their bits inverted), switched by how many of the
// last 500 codes were strings; once the table is full, the least used string
// is replaced. Code 256 ends the data.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// drOk at the end code (or once job.expectedSize bytes are out; when it is
// not known, at the end of the input), drInputExhausted when the input ends
// first, drInvalidData ("Bad block") for a code past the next free one or a
// string table the data has tied in a loop, drOutputFailed or drCancelled.
int PakUncrush(const TDecodeJob& job);

}  // namespace zid
