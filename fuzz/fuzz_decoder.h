// The common frame of the decoder harnesses: the input after a 4-byte prefix
// is the compressed data, the sink only counts, and output beyond the
// declared size is the one result that is never acceptable.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "engine/base/zidDecoder.h"

namespace fuzzframe {

// Runs decode over data[4..]; declared < 0 means unknown. Returns the decoder's result.
inline int RunDecoder(const uint8_t* data, size_t size, int64_t declared,
                      const std::function<int(const zid::TDecodeJob&)>& decode) {
  const uint8_t* in = data + 4;
  const size_t inSize = size - 4;
  size_t pos = 0;
  int64_t written = 0;
  zid::TDecodeJob job;
  job.source.budget = static_cast<int64_t>(inSize);
  job.source.read = [&](uint8_t* buf, int64_t n) -> int64_t {
    size_t k = inSize - pos < static_cast<size_t>(n) ? inSize - pos : static_cast<size_t>(n);
    std::memcpy(buf, in + pos, k);
    pos += k;
    return static_cast<int64_t>(k);
  };
  job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
    written += n;
    return n;
  };
  job.expectedSize = declared;
  int r = decode(job);
  if (declared >= 0 && written > declared) std::abort();
  if (pos > inSize) std::abort();
  return r;
}

// Bytes 1-3 as a 24-bit size.
inline int64_t Size24(const uint8_t* data) { return data[1] | (data[2] << 8) | (data[3] << 16); }

}  // namespace fuzzframe
