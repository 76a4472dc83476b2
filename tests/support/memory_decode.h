// Codecs run from memory: a reader over a string, and a decode whose sink
// collects the output, for the codec tests of every format.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "engine/base/zidDecoder.h"

namespace testutil {

// A read callback (decoder sources, encoder inputs) over `in` from pos on;
// the caller rewinds pos to read again. Both must outlive the callback.
inline std::function<int64_t(uint8_t*, int64_t)> MemoryReader(const std::string& in, size_t& pos) {
  return [&in, &pos](uint8_t* buf, int64_t count) -> int64_t {
    size_t n = std::min<size_t>(static_cast<size_t>(count), in.size() - pos);
    std::memcpy(buf, in.data() + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  };
}

// Makes `in` the job's source (budget = in.size()), read from pos on.
inline void MemorySource(zid::TDecodeJob& job, const std::string& in, size_t& pos) {
  job.source.budget = static_cast<int64_t>(in.size());
  job.source.read = MemoryReader(in, pos);
}

// The outcome of one decode from memory.
struct Decoded {
  int result = 0;
  std::string out;
  int64_t maxAsked = 0;  // compressed bytes asked for in total
  int writes = 0;
};

using DecodeFn = std::function<int(const zid::TDecodeJob&)>;

// Runs a decoder over `in` (budget = in.size()) with the given expected size.
inline Decoded Decode(const DecodeFn& fn, const std::string& in, int64_t expected) {
  Decoded d;
  size_t pos = 0;
  zid::TDecodeJob job;
  MemorySource(job, in, pos);
  const auto read = job.source.read;
  job.source.read = [&d, read](uint8_t* buf, int64_t count) -> int64_t {
    d.maxAsked += count;
    return read(buf, count);
  };
  job.sink.write = [&d](const uint8_t* buf, int64_t count) -> int64_t {
    ++d.writes;
    d.out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(count));
    return count;
  };
  job.expectedSize = expected;
  d.result = fn(job);
  return d;
}

}  // namespace testutil
