// The Deflate settings of the ZIP family: raw RFC 1951 through zlib (method
// 8, window bits -15, memory level 8, default strategy) at the level the
// writer's DeflateType selects, and the copy that drives the encoder.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidTypes.h"

namespace zid {

// zlib level of a DeflateType: 0, 1, 6, 9.
int DeflateLevel(TDeflateType type);
// General purpose flag bits 1-2 a deflated entry carries: fast 4, normal 0, maximum 2.
uint16_t DeflateFlagBits(TDeflateType type);

// Chunk in which the source is read and the user interface serviced.
constexpr int64_t kDeflateChunk = 131072;

// Deflates the source from its current position to its end into target.
// control.Keys: the output is enciphered with them (the caller made the
// encryption header) and the CRC is not folded. progress
// gets the input bytes of each chunk. crc32 receives the final CRC-32 (0 for
// an empty source) unless encrypting. False when cancelled (control.Cancel).
// A write the target refuses raises E_RAISE 25136.
bool CompressStream(TStream32& source, TStream32& target, const CodecControl& control, TDeflateType type,
                    const std::function<void(int64_t)>& progress, uint32_t& crc32, int windowBits = -15);

}  // namespace zid
