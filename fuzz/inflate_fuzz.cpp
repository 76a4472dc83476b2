// The two inflaters on arbitrary bytes. Byte 0 picks the variant (bit 0:
// Deflate64, for the window inflater alone) and whether the size is declared
// (bit 1); bytes 1-3 give the declared size. Plain DEFLATE goes through the
// window inflater and the stream inflater: when both accept the data they must
// give the same bytes. Any other result is acceptable except a crash, a hang
// or output past the declared size.
#include <cstdlib>
#include <string>

#include "engine/base/zidRawInflate.h"
#include "engine/zip/zidInflate.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const bool d64 = data[0] & 1;
  const int64_t declared = (data[0] & 2) ? fuzzframe::Size24(data) : -1;
  std::string window, stream;
  const int a = fuzzframe::RunDecoder(data, size, declared, [&](zid::TDecodeJob job) {
    job.sink.write = [&, count = job.sink.write](const uint8_t* p, int64_t n) {
      window.append(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
      return count(p, n);
    };
    return zid::InflateWindow(job, d64);
  });
  if (d64) return 0;
  const int b = fuzzframe::RunDecoder(data, size, declared, [&](zid::TDecodeJob job) {
    job.sink.write = [&, count = job.sink.write](const uint8_t* p, int64_t n) {
      stream.append(reinterpret_cast<const char*>(p), static_cast<size_t>(n));
      return count(p, n);
    };
    int64_t produced = 0;
    return zid::InflateRaw(job, produced);
  });
  if (a == zid::drOk && b == zid::drOk && window != stream) std::abort();
  return 0;
}
