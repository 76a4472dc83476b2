// The older LZSS-style LHA decoders on arbitrary bytes: byte 0 picks -lh1-
// (adaptive Huffman), LArc's -lz5- or -lzs-; bytes 1-3 give the declared
// size. Every result is acceptable except a crash, a hang or output past it.
#include "engine/lha/zidLarc.h"
#include "engine/lha/zidLzhuf.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int which = data[0] % 3;
  fuzzframe::RunDecoder(data, size, fuzzframe::Size24(data), [&](const zid::TDecodeJob& job) {
    return which == 0 ? zid::LzhufDecode(job) : which == 1 ? zid::Lz5Decode(job) : zid::LzsDecode(job);
  });
  return 0;
}
