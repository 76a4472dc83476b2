#include "engine/base/zidResync.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/zidFormats.h"

namespace zid {

int64_t FindNextHeader(const TResyncReadAt& read, int64_t damaged, int64_t end, const TResyncProbe& probe) {
  const int64_t step = std::max<int64_t>(1, probe.align);
  const int64_t first = damaged + step;
  if (probe.magic.empty()) {
    for (int64_t p = first; p < end; p += step)
      if (probe.good(p)) return p;
    return -1;
  }
  // The signature is looked for block by block; the blocks overlap by the
  // signature's length so that one across a block edge is found.
  constexpr int64_t kBlock = int64_t{1} << 16;
  const int64_t len = static_cast<int64_t>(probe.magic.size());
  std::vector<uint8_t> buf(static_cast<size_t>(kBlock + len));
  for (int64_t base = first + probe.magicAt; base < end; base += kBlock) {
    const int64_t got = read(base, buf.data(), std::min(kBlock + len, end - base));
    if (got < len) return -1;
    for (int64_t i = 0; i + len <= got && i < kBlock; ++i) {
      if (std::memcmp(buf.data() + i, probe.magic.data(), static_cast<size_t>(len)) != 0) continue;
      const int64_t start = base + i - probe.magicAt;
      if (probe.good(start)) return start;
    }
  }
  return -1;
}

TResyncProbe ResyncByProbe(const TProbe& probe, TByteSource& src) {
  TResyncProbe r;
  r.magic = std::string_view(probe.magic, probe.magicLen);
  r.magicAt = probe.magicAt;
  r.good = [&probe, &src](int64_t start) { return probe.check(src, start); };
  return r;
}

std::string DamagedRegionText(const std::string& why, int64_t damaged, int64_t next, int64_t end) {
  std::string s = (why.empty() ? std::string("damaged header") : why) + " at offset " + std::to_string(damaged);
  if (next < 0) return s + ": no good header follows in the " + std::to_string(std::max<int64_t>(0, end - damaged)) +
                        " bytes to the end";
  return s + ": " + std::to_string(next - damaged) + " damaged bytes passed over, going on at offset " +
         std::to_string(next);
}

}  // namespace zid
