// The uuencode scan and line decoder on arbitrary text. Byte 0 picks the
// encoding (bit 0: base64) and whether the declared size is known (bit 1);
// the scan's files must lie inside the text and their decode must stop at
// the declared size.
#include <cstdlib>

#include "engine/other/zidUudecode.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int64_t text = static_cast<int64_t>(size - 4);
  const auto files = zid::ScanUue(
      [&](int64_t pos, void* buf, int64_t n) -> int64_t {
        if (pos < 0 || pos >= text) return 0;
        const int64_t k = std::min(n, text - pos);
        std::memcpy(buf, data + 4 + pos, static_cast<size_t>(k));
        return k;
      },
      text);
  for (const zid::TUueFile& f : files)
    if (f.data < 0 || f.data > text || f.dataEnd < f.data || f.dataEnd > text || f.size < 0) std::abort();
  fuzzframe::RunDecoder(data, size, (data[0] & 2) ? fuzzframe::Size24(data) : -1,
                        [&](const zid::TDecodeJob& job) { return zid::UuDecode(job, data[0] & 1); });
  return 0;
}
