#include "engine/zip/zidUnreduce.h"

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr uint8_t kDle = 144;
constexpr unsigned kMaxFollowers = 32;

// Bits of a follower index for a set of n bytes (n >= 1).
unsigned IndexBits(unsigned n) {
  unsigned bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

}  // namespace

int Unreduce(const TDecodeJob& job, int factor) {
  if (factor < 1 || factor > 4) return drInvalidData;
  TBitReader br(job.source);
  TOutWindow out(job, 32768);
  if (out.Full()) return out.Finish();

  uint8_t followers[256][kMaxFollowers];
  uint8_t setSize[256];
  for (int c = 255; c >= 0; --c) {
    unsigned n = br.Get(6);
    if (n > kMaxFollowers) return drInvalidData;
    setSize[c] = static_cast<uint8_t>(n);
    for (unsigned i = 0; i < n; ++i) followers[c][i] = static_cast<uint8_t>(br.Get(8));
    if (br.Overrun()) break;
  }
  const int ended = job.expectedSize < 0 ? drOk : drInputExhausted;
  if (br.Overrun()) return ended == drOk ? out.Finish() : ended;

  const unsigned lengthMask = 0x7Fu >> (factor - 1);  // 127, 63, 31, 15
  unsigned last = 0;
  int state = 0;
  unsigned v = 0, length = 0;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    unsigned c;
    unsigned n = setSize[last];
    if (n == 0 || br.Get(1)) {
      c = br.Get(8);
    } else {
      unsigned idx = br.Get(IndexBits(n));
      if (br.Overrun()) break;
      if (idx >= n) return drInvalidData;
      c = followers[last][idx];
    }
    if (br.Overrun()) break;
    last = c;

    bool ok = true;
    switch (state) {
      case 0:
        if (c == kDle) state = 1;
        else ok = out.Put(static_cast<uint8_t>(c));
        break;
      case 1:
        if (c == 0) {
          ok = out.Put(kDle);
          state = 0;
        } else {
          v = c;
          length = c & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += c;
        state = 3;
        break;
      default: {
        uint32_t dist = ((v >> (8 - factor)) << 8) + c + 1;
        ok = out.Copy(dist, length + 3);
        state = 0;
        break;
      }
    }
    if (!ok && out.Status() != drOk) return out.Status();
  }
  if (!out.Full() && ended != drOk) return ended;
  return out.Finish();
}

}  // namespace zid
