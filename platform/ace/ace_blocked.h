// Decoding of a compressed member: ACE 1.0 (LZ77, COMP_TYPE 1) and ACE 2.0
// blocked mode (COMP_TYPE 2), where mode instructions split the stream into
// blocks of LZ77, DELTA, EXE, SOUND and PIC data.
//
// The history holds the LZ77 output before the DELTA and EXE filters, and the
// final bytes of SOUND and PIC blocks; in a solid archive it carries over.
#pragma once

#include <cstdint>

#include "platform/ace/ace_bits.h"
#include "platform/ace/ace_lz77.h"
#include "platform/ace/ace_output.h"

namespace ace {

// Decodes exactly `size` bytes of a member into out (which is flushed at the
// end). Raises TFailure: DataError for invalid data, Truncated when the bits
// run out, and whatever the input or the output raise.
void DecodeCompressed(TBitReader& br, THistory& hist, TOutput& out, uint64_t size, bool blocked);

}  // namespace ace
