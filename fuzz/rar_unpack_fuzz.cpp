// The RAR 1.5 and 2.x decoders on arbitrary bytes. Byte 0: bit 0 picks
// RAR 1.5 (else 2.0); bit 1 splits the input in two entries, the second
// continuing the first's stream as in a solid archive. Bytes 1-3 give each
// entry's declared size. Any result is fine except a crash, a hang or
// output beyond the declared size.
#include <vector>

#include "engine/other/zidRarUnpack.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int64_t declared = fuzzframe::Size24(data) & 0xFFFFF;
  const int version = (data[0] & 1) ? 15 : 20;
  zid::TRarUnpacker unpacker;
  auto entry = [&](bool solid) {
    return [&unpacker, version, solid](const zid::TDecodeJob& job) { return unpacker.Decode(job, version, solid); };
  };
  if (!(data[0] & 2)) {
    fuzzframe::RunDecoder(data, size, declared, entry(false));
    return 0;
  }
  const size_t half = 4 + (size - 4) / 2;
  fuzzframe::RunDecoder(data, half, declared, entry(false));
  std::vector<uint8_t> second(data, data + 4);
  second.insert(second.end(), data + half, data + size);
  fuzzframe::RunDecoder(second.data(), second.size(), declared, entry(true));
  return 0;
}
