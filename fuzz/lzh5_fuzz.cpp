// LzhDecode on arbitrary bytes. Byte 0 picks the parameter row (LHA -lh4- to
// -lh7-, BH Fused1 and Fused3, ARJ, ZOO); bytes 1-3 give the declared size.
// Every result is acceptable except a crash, a hang or output past the size.
#include "engine/lha/zidLzh5.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  zid::TLzhParams p{};
  switch (data[0] & 7) {
    case 0: p = zid::kLzhLh4; break;
    case 1: p = zid::kLzhLh5; break;
    case 2: p = zid::kLzhLh6; break;
    case 3: p = zid::kLzhLh7; break;
    case 4: p = zid::kLzhFused1; break;
    case 5: p = zid::kLzhFused3; break;
    case 6: p = zid::kLzhArj; break;
    default: p = zid::kLzhZooMethod2; break;
  }
  fuzzframe::RunDecoder(data, size, fuzzframe::Size24(data),
                        [&](const zid::TDecodeJob& job) { return zid::LzhDecode(job, p); });
  return 0;
}
