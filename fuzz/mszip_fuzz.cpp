// The MSZIP block decoder on arbitrary blocks: the input is a run of records
// (cb: 2 bytes, uncomp: 2 bytes, little-endian, then cb bytes of block), each
// decoded with the history the ones before it left. Any outcome is fine
// except a crash, a hang or a read outside the block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cabinet/mszipdec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plat::cab::TMsZipDecoder dec;
  size_t pos = 0;
  while (size - pos >= 4) {
    const size_t cb = data[pos] | (data[pos + 1] << 8);
    const size_t uncomp = data[pos + 2] | (data[pos + 3] << 8);
    pos += 4;
    if (cb > size - pos) break;
    // A copy of exactly cb bytes, so that a read past the block shows.
    const std::vector<uint8_t> block(data + pos, data + pos + cb);
    pos += cb;
    if (dec.Decode(block.data(), block.size(), uncomp) == nullptr) dec.Reset();
  }
  return 0;
}
