#include "engine/other/zidCopyStored.h"

#include <algorithm>
#include <memory>

namespace zid {

int CopyStored(const TDecodeJob& job) {
  constexpr int64_t kChunk = 65536;
  // One buffer per thread: entries of a few bytes each cost no allocation.
  thread_local std::unique_ptr<uint8_t[]> buf(new uint8_t[kChunk]);
  int64_t left = job.expectedSize;
  int64_t budget = job.source.budget;
  int64_t done = 0;
  while (left != 0) {
    if (DecodeCancelled(job)) return drCancelled;
    int64_t want = kChunk;
    if (left > 0) want = std::min(want, left);
    if (budget >= 0) want = std::min(want, budget);
    const int64_t got = want > 0 && job.source.read ? job.source.read(buf.get(), want) : 0;
    if (got <= 0) return left < 0 ? drOk : drInputExhausted;
    const int64_t n = std::min(got, want);
    if (budget >= 0) budget -= n;
    if (left > 0) left -= n;
    if (job.sink.write(buf.get(), n) != n) return drOutputFailed;
    done += n;
    if (job.progress) job.progress(done);
  }
  return drOk;
}

}  // namespace zid
