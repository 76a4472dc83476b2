// The explode decoder on arbitrary bytes. Byte 0 holds the general purpose flags (bit 1: 8 KiB dictionary, bit 2: literal tree);
// bytes 1-3 give the declared size, 0xFFFFFF meaning unknown. Any result is
// fine except a crash, a hang or output beyond the declared size.
#include "fuzz/fuzz_decoder.h"
#include "engine/zip/zidExplode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int64_t declared = fuzzframe::Size24(data);
  if (declared == 0xFFFFFF) declared = -1;
  fuzzframe::RunDecoder(data, size, declared,
                        [&](const zid::TDecodeJob& job) { return zid::Explode(job, zid::ExplodeOptionsFromFlags(data[0])); });
  return 0;
}
