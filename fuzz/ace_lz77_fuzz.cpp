// The ACE 1.0 LZ77 decoder on arbitrary bytes (frame: fuzz/fuzz_ace.h).
#include "fuzz/fuzz_ace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzframe::RunAce(data, size, false);
  return 0;
}
