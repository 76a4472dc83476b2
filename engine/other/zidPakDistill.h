// PAK's distilled data (method 11): LZ77 over an 8 KiB window. The stream
// starts with a Huffman tree for literals, the end and the match lengths
// (node count, bits per node, then the nodes); distances are a fixed code of
// 64 symbols followed by as many extra bits as the output so far needs. The
// window starts out full of spaces.
#pragma once

#include "engine/base/zidDecoder.h"

namespace zid {

// drOk at the end symbol (or once job.expectedSize bytes are out),
// drInputExhausted when the input ends first, drInvalidData ("Bad block")
// for a tree of more than 628 nodes or one whose paths do not end,
// drOutputFailed or drCancelled.
int PakUndistill(const TDecodeJob& job);

}  // namespace zid
