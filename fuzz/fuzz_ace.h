// The frame of the ACE decoder harnesses: bytes 1-3 give the member's size
// (at most 1 MiB), bit 0 of byte 0 decodes the stream a second time as the
// next member of a solid archive (the history kept), and the rest is the
// packed stream. Any result is acceptable except a crash, a hang, or output
// beyond the declared size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_decoder.h"
#include "platform/ace/ace_blocked.h"
#include "platform/ace/ace_output.h"

namespace fuzzframe {

inline void RunAce(const uint8_t* data, size_t size, bool blocked) {
  if (size < 4) return;
  static ace::THistory hist;  // 4 MiB, allocated once
  hist.Clear();
  const uint64_t declared = static_cast<uint64_t>(Size24(data)) & 0xFFFFF;
  const int members = (data[0] & 1) ? 2 : 1;
  for (int m = 0; m < members; ++m) {
    size_t pos = 4;
    uint64_t written = 0;
    ace::TBitReader br([&](uint8_t* p, size_t n) {
      const size_t k = n < size - pos ? n : size - pos;
      std::memcpy(p, data + pos, k);
      pos += k;
      return k;
    });
    ace::TOutput out(
        [&](const uint8_t*, size_t n) {
          written += n;
          return true;
        },
        1 << 16, declared);
    try {
      ace::DecodeCompressed(br, hist, out, declared, blocked);
    } catch (const ace::TFailure&) {
    }
    if (written > declared) std::abort();
  }
}

}  // namespace fuzzframe
