// The unshrink decoder on arbitrary bytes. Byte 0 is unused;
// bytes 1-3 give the declared size, 0xFFFFFF meaning unknown. Any result is
// fine except a crash, a hang or output beyond the declared size.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/zip/zidUnshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int64_t declared = data[1] | (data[2] << 8) | (data[3] << 16);
  if (declared == 0xFFFFFF) declared = -1;
  const uint8_t* in = data + 4;
  const size_t inSize = size - 4;
  size_t pos = 0;
  int64_t written = 0;
  zid::TDecodeJob job;
  job.source.budget = static_cast<int64_t>(inSize);
  job.source.read = [&](uint8_t* buf, int64_t n) -> int64_t {
    size_t k = inSize - pos < static_cast<size_t>(n) ? inSize - pos : static_cast<size_t>(n);
    std::memcpy(buf, in + pos, k);
    pos += k;
    return static_cast<int64_t>(k);
  };
  job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
    written += n;
    return n;
  };
  job.expectedSize = declared;
  zid::Unshrink(job);
  if (declared >= 0 && written > declared) std::abort();
  return 0;
}
