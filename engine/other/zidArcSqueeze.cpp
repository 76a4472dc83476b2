#include "engine/other/zidArcSqueeze.h"

#include <cstdint>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr int kMaxNodes = 256;  // a tree of 257 leaves (the bytes and the end)
constexpr int kEndSymbol = 256;

}  // namespace

int ArcUnsqueeze(const TDecodeJob& job) {
  TBitReader br(job.source);
  TOutWindow out(job, 32768);
  const int ended = job.expectedSize < 0 ? drOk : drInputExhausted;
  const int nodes = static_cast<int>(br.Get(16));
  if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
  if (nodes > kMaxNodes) return drInvalidData;
  int16_t child[kMaxNodes][2];
  // An empty tree: the first bit ends the data.
  child[0][0] = child[0][1] = -1 - kEndSymbol;
  for (int i = 0; i < nodes; ++i)
    for (int16_t& c : child[i]) {
      c = static_cast<int16_t>(br.Get(16));
      if (c >= nodes || c < -1 - kEndSymbol) return drInvalidData;
    }
  if (br.Overrun()) return ended;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    int n = 0;
    // Every step goes down one node; a tree whose children point back up
    // loops only as long as the input lasts.
    while (n >= 0) {
      n = child[n][br.Get(1)];
      if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
    }
    const int symbol = -1 - n;
    if (symbol == kEndSymbol) break;
    if (!out.Put(static_cast<uint8_t>(symbol)) && out.Status() != drOk) return out.Status();
  }
  return out.Finish();
}

}  // namespace zid
