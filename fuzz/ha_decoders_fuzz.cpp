// HA's ASC and HSC decoders on arbitrary bytes: byte 0 picks the method,
// bytes 1-3 give the declared size, 0xFFFFFF meaning unknown. Any result is
// fine except a crash, a hang or output beyond the declared size.
#include "engine/other/zidHaAsc.h"
#include "engine/other/zidHaHsc.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int64_t declared = fuzzframe::Size24(data);
  if (declared == 0xFFFFFF) declared = -1;
  const bool hsc = data[0] & 1;
  fuzzframe::RunDecoder(data, size, declared,
                        [hsc](const zid::TDecodeJob& job) { return hsc ? zid::HaHscDecode(job) : zid::HaAscDecode(job); });
  return 0;
}
