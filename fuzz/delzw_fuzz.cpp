// The Unix compress decoder on arbitrary bytes (after the frame's 4-byte
// prefix: byte 0 bit 0 declares the size in bytes 1-3). Every result is
// acceptable except a crash, a hang or output past the declared size.
#include "engine/other/zidDelzw.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int64_t declared = (data[0] & 1) ? fuzzframe::Size24(data) : -1;
  fuzzframe::RunDecoder(data, size, declared, [](const zid::TDecodeJob& job) { return zid::Delzw(job); });
  return 0;
}
