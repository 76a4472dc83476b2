// The window inflater on arbitrary bytes. Byte 0 picks the variant (bit 0:
// Deflate64) and whether the size is declared (bit 1); bytes 1-3 give the
// declared size. Every result is acceptable except a crash, a hang or output
#include "fuzz/fuzz_decoder.h"
#include "engine/zip/zidInflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const bool d64 = data[0] & 1;
  const int64_t declared = (data[0] & 2) ? fuzzframe::Size24(data) : -1;
  fuzzframe::RunDecoder(data, size, declared,
                        [&](const zid::TDecodeJob& job) { return zid::InflateWindow(job, d64); });
  return 0;
}
