#include "engine/other/zidArj4.h"

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr uint32_t kWindow = 32768;
constexpr unsigned kMaxLengthOnes = 7;    // length codes: 0 to 7 leading ones, then as many value bits
constexpr unsigned kMaxPositionOnes = 4;  // position codes: 0 to 4 leading ones, then 9 + that many bits
constexpr unsigned kPositionBase = 9;
constexpr unsigned kMinMatch = 2;

// Leading one bits of the top `width` bits of v (v holds exactly width bits).
inline unsigned LeadingOnes(uint32_t v, unsigned width) {
  unsigned n = 0;
  while (n < width && (v & (1u << (width - 1 - n)))) ++n;
  return n;
}

}  // namespace

int ArjDecode4(const TDecodeJob& job) {
  TMsbBitReader br(job.source);
  TOutWindow out(job, kWindow);
  // the input ending is the end of the entry only when its size is unknown
  const int ended = job.expectedSize < 0 ? drOk : drInputExhausted;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    // the longest symbol: 7 + 7 length bits, 4 + 13 position bits
    br.Need(31);
    unsigned n = LeadingOnes(br.Peek(kMaxLengthOnes), kMaxLengthOnes);
    br.Drop(n < kMaxLengthOnes ? n + 1 : n);
    uint32_t value = (1u << n) - 1;
    if (n > 0) value += br.Peek(n), br.Drop(n);
    if (value == 0) {
      const uint8_t lit = static_cast<uint8_t>(br.Peek(8));
      br.Drop(8);
      if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
      if (!out.Put(lit) && out.Status() != drOk) return out.Status();
      continue;
    }
    n = LeadingOnes(br.Peek(kMaxPositionOnes), kMaxPositionOnes);
    br.Drop(n < kMaxPositionOnes ? n + 1 : n);
    const uint32_t position = (1u << kPositionBase) * ((1u << n) - 1) + br.Peek(kPositionBase + n);
    br.Drop(kPositionBase + n);
    if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
    const uint32_t dist = position + 1;
    if (dist > out.Total()) return drInvalidData;
    if (!out.Copy(dist, value + kMinMatch) && out.Status() != drOk) return out.Status();
  }
  return out.Finish();
}

}  // namespace zid
