// The ACE 2.0 blocked decoder (LZ77 with DELTA, EXE, SOUND and PIC blocks)
// on arbitrary bytes (frame: fuzz/fuzz_ace.h).
#include "fuzz/fuzz_ace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzframe::RunAce(data, size, true);
  return 0;
}
