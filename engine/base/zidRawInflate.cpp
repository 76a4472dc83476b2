#include "engine/base/zidRawInflate.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <memory>

namespace zid {

namespace {

constexpr int64_t kInChunk = 65536;
constexpr int64_t kOutChunk = 262144;

// The decoder state (87 KiB) and the buffers, kept for the next stream of the
// thread: a ZIP of many small entries would otherwise allocate them per entry.
struct TInflateBuffers {
  inflate_state state;
  uint8_t in[kInChunk];
  uint8_t out[kOutChunk];
};

}  // namespace

int InflateRaw(const TDecodeJob& job, int64_t& produced) {
  thread_local std::unique_ptr<TInflateBuffers> buffers;
  if (!buffers) buffers.reset(new TInflateBuffers);
  TInflateBuffers& b = *buffers;
  inflate_state& s = b.state;
  isal_inflate_init(&s);
  s.crc_flag = ISAL_DEFLATE;  // raw: no wrapper, no checksum of its own

  produced = 0;
  int64_t taken = 0;
  bool inputEnded = false;
  const int64_t expected = job.expectedSize;
  const int64_t budget = job.source.budget;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    if (s.avail_in == 0 && !inputEnded) {
      int64_t want = kInChunk;
      if (budget >= 0) want = std::min(want, budget - taken);
      const int64_t got = (want > 0 && job.source.read) ? job.source.read(b.in, want) : 0;
      if (got <= 0) {
        inputEnded = true;
      } else {
        taken += std::min(got, want);
        s.next_in = b.in;
        s.avail_in = static_cast<uint32_t>(std::min(got, want));
      }
    }
    int64_t room = kOutChunk;
    if (expected >= 0) room = std::min(room, expected - produced);
    if (room <= 0) return drOk;  // the declared size is reached; the CRC check judges the rest
    s.next_out = b.out;
    s.avail_out = static_cast<uint32_t>(room);
    const uint32_t inBefore = s.avail_in;
    const int r = isal_inflate(&s);
    const int64_t made = room - s.avail_out;
    if (made > 0) {
      if (job.sink.write(b.out, made) != made) return drOutputFailed;
      produced += made;
      if (job.progress) job.progress(produced);
    }
    if (r < 0) return drInvalidData;
    if (s.block_state == ISAL_BLOCK_FINISH) return drOk;
    // Nothing moved: with the input at its end the data was cut short.
    if (made == 0 && s.avail_in == inBefore) {
      if (inputEnded) return drInputExhausted;
      if (s.avail_in > 0) return drInvalidData;  // would spin on input it will not take
    }
  }
}

}  // namespace zid
