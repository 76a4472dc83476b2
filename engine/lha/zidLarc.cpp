#include "engine/lha/zidLarc.h"

#include <cstring>

#include "engine/base/zidBitReader.h"
#include "engine/lha/zidLzRing.h"

namespace zid {

namespace {

// The -lz5- ring as LArc leaves it before the first byte: 13 copies of each
// byte value in turn, the values 0..255 ascending, then descending, 128
// zeros, 110 spaces and 18 zeros.
void FillLz5Ring(uint8_t* p) {
  for (unsigned v = 0; v < 256; ++v) {
    std::memset(p, static_cast<int>(v), 13);
    p += 13;
  }
  for (unsigned v = 0; v < 256; ++v) *p++ = static_cast<uint8_t>(v);
  for (unsigned v = 0; v < 256; ++v) *p++ = static_cast<uint8_t>(255 - v);
  std::memset(p, 0, 128);
  p += 128;
  std::memset(p, ' ', 110);
  p += 110;
  std::memset(p, 0, 18);
}

}  // namespace

int Lz5Decode(const TDecodeJob& job) {
  if (job.expectedSize < 0) return drInvalidData;
  if (job.expectedSize == 0) return drOk;
  TMsbBitReader br(job.source);
  TLzRing ring(job, 4096, 4096 - 18);
  FillLz5Ring(ring.Dict());
  while (ring.Left() > 0) {
    unsigned flags = br.Get(8);
    for (unsigned bit = 0; bit < 8 && ring.Left() > 0; ++bit, flags >>= 1) {
      if (flags & 1) {
        unsigned b = br.Get(8);
        if (br.Overrun()) return drInputExhausted;
        if (!ring.Put(static_cast<uint8_t>(b))) return ring.Status();
      } else {
        unsigned lo = br.Get(8);
        unsigned hi = br.Get(8);
        if (br.Overrun()) return drInputExhausted;
        if (!ring.Copy(lo | ((hi & 0xF0) << 4), (hi & 0x0F) + 3)) return ring.Status();
      }
    }
  }
  return ring.Finish();
}

int LzsDecode(const TDecodeJob& job) {
  if (job.expectedSize < 0) return drInvalidData;
  if (job.expectedSize == 0) return drOk;
  TMsbBitReader br(job.source);
  TLzRing ring(job, 2048, 2048 - 17);
  std::memset(ring.Dict(), ' ', 2048);
  while (ring.Left() > 0) {
    if (br.Get(1)) {
      unsigned b = br.Get(8);
      if (br.Overrun()) return drInputExhausted;
      if (!ring.Put(static_cast<uint8_t>(b))) return ring.Status();
    } else {
      unsigned pos = br.Get(11);
      unsigned len = br.Get(4) + 2;
      if (br.Overrun()) return drInputExhausted;
      if (!ring.Copy(pos, len)) return ring.Status();
    }
  }
  return ring.Finish();
}

}  // namespace zid
