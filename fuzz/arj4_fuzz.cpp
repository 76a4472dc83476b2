// The ARJ method-4 decoder on arbitrary bytes. Byte 0 is unused; bytes 1-3
// give the declared size, 0xFFFFFF meaning unknown. Any result is fine
// except a crash, a hang or output beyond the declared size.
#include "engine/other/zidArj4.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int64_t declared = fuzzframe::Size24(data);
  if (declared == 0xFFFFFF) declared = -1;
  fuzzframe::RunDecoder(data, size, declared, [](const zid::TDecodeJob& job) { return zid::ArjDecode4(job); });
  return 0;
}
