// One large file deflated on every core: the input is cut into pieces of
// kDeflatePiece bytes, each deflated by its own zlib stream (the ZIP family's
// fixed parameters) with the 32 KiB before it as its preset dictionary, and
// ended on a byte boundary with an empty stored block (the last with the
// final block). Joined in order the pieces are one valid raw Deflate stream.
//
// The bytes depend only on the input and the level: the number of workers
// changes who compresses a piece, never what it becomes. At most a few
// pieces per worker are in flight, so memory stays at a few MiB whatever the
// file's size. The CRC and the cipher run on the calling thread, in order.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidTypes.h"

namespace zid {

constexpr int64_t kDeflatePiece = 131072;
// Files from this size on take the pieces; smaller ones one zlib stream.
constexpr int64_t kDeflatePiecesFrom = int64_t{1} << 20;

// As CompressStream (zidDeflate.h), for `size` bytes of source from its
// position, on `workers` threads (0: one per core, 1: this thread only).
// False when cancelled.
bool DeflatePieces(TStream32& source, int64_t size, TStream32& target, const CodecControl& control,
                   TDeflateType type, int workers, const std::function<void(int64_t)>& progress,
                   uint32_t& crc32);

}  // namespace zid
