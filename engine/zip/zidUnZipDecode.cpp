#include "engine/zip/zidUnZipDecode.h"

#include <algorithm>
#include <memory>

#include "engine/base/zidRawInflate.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidExplode.h"
#include "engine/zip/zidInflate.h"
#include "engine/zip/zidUnreduce.h"
#include "engine/zip/zidUnshrink.h"

namespace zid {

namespace {

constexpr int64_t kChunk = 32768;

// Stored data: blocks of min(32 KiB, bytes left), never past the declared size.
int CopyStored(TStream32& input, const TDecodeJob& job, int64_t& produced) {
  thread_local std::unique_ptr<uint8_t[]> buf(new uint8_t[kChunk]);
  const int64_t expected = job.expectedSize;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    int64_t want = kChunk;
    if (expected >= 0) want = std::min(want, expected - produced);
    if (want <= 0) return drOk;
    int64_t got = input.Read(buf.get(), want);
    if (got <= 0) return expected < 0 ? drOk : drInputExhausted;
    if (job.sink.write(buf.get(), got) != got) return drOutputFailed;
    produced += got;
    if (job.progress) job.progress(produced);
  }
}

}  // namespace

bool IsSupportedZipMethod(uint16_t method) { return method <= 6 || method == 8 || method == 9; }

int DecodeZipMethod(uint16_t method, uint16_t gpFlags, TStream32& input, int64_t compressedSize, TDecodeJob job,
                    int64_t& produced) {
  produced = 0;
  if (!IsSupportedZipMethod(method)) return kMethodUnsupported;
  if (method == 0) return CopyStored(input, job, produced);

  job.source.budget = compressedSize;
  job.source.read = [&input](uint8_t* buf, int64_t count) { return input.Read(buf, count); };
  if (method == 8) return InflateRaw(job, produced);
  auto sink = job.sink.write;
  job.sink.write = [&produced, sink](const uint8_t* buf, int64_t count) {
    int64_t n = sink(buf, count);
    if (n > 0) produced += n;
    return n;
  };
  int r;
  switch (method) {
    case 1: r = Unshrink(job); break;
    case 6: r = Explode(job, ExplodeOptionsFromFlags(gpFlags)); break;
    case 9: r = InflateWindow(job, true); break;
    default: r = Unreduce(job, method - 1); break;
  }
  return r;
}

}  // namespace zid
