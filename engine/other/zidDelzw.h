// The Unix compress (.Z) decoder: adaptive LZW with codes growing from 9 bits
// to the maximum width the header names (9..16), and in block mode the clear
// code 256 that empties the table.
//
// The stream is read from its first byte: the magic 1F 9D, then a flags byte
// (bit 7 block mode, bits 5-6 reserved, bits 0-4 the maximum width). Codes are
// LSB first. The compressor writes codes in groups of eight; when the width
// changes or a clear code comes, the rest of the current group is padding.
// The format has no length and no checksum: the data end where the input
// does, and a truncated file cannot be told from a complete one.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

constexpr int kLzwHeaderSize = 3;

enum class TLzwHeader { Ok, BadMagic, ReservedBits, BadWidth };

// Checks the 3 header bytes: the magic, the reserved bits, a maximum width of 9..16.
TLzwHeader CheckLzwHeader(const uint8_t* header);

// Decodes one whole .Z stream (header included) from job.source to job.sink
// through the LZW core (zidLzw.h). Returns drOk at the end of the input,
// drInvalidData for a bad header, a first code above 255, or a code beyond
// the next free one, drOutputFailed, drCancelled.
int Delzw(const TDecodeJob& job);

}  // namespace zid
