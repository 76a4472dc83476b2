// The deep scan: where the detector's rules found nothing, every family's
// header is looked for in the first 16 MiB and the last 64 KiB of the file.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/zidDetect.h"
#include "engine/base/zidFormats.h"

namespace zid {

namespace {

constexpr int64_t kHeadSpan = int64_t{16} << 20;
constexpr int64_t kTailSpan = int64_t{64} << 10;
constexpr int64_t kBlock = int64_t{1} << 20;
constexpr int64_t kOverlap = 64;  // longer than any signature and its place

struct TCandidate {
  const TFormat* format;
  const TProbe* probe;
};

// The first offset in [from, to) where a probe's signature sits and its header checks.
bool ScanRange(TByteSource& src, int64_t from, int64_t to, const std::vector<TCandidate> (&byFirst)[256],
               TScanResult& found) {
  std::vector<uint8_t> buf(static_cast<size_t>(kBlock + kOverlap));
  for (int64_t base = from; base < to; base += kBlock) {
    const int64_t got = src.ReadAt(base, buf.data(), kBlock + kOverlap);
    if (got <= 0) break;
    const int64_t last = std::min(got, std::min(kBlock, to - base));
    for (int64_t i = 0; i < last; ++i) {
      for (const TCandidate& c : byFirst[buf[static_cast<size_t>(i)]]) {
        const TProbe& p = *c.probe;
        const int64_t start = base + i - p.magicAt;
        if (start < 0 || i + p.magicLen > got) continue;
        if (std::memcmp(buf.data() + i, p.magic, p.magicLen) != 0) continue;
        if (!p.check(src, start)) continue;
        found.Offset = start;
        found.Type = c.format->types.front();
        return true;
      }
    }
  }
  return false;
}

}  // namespace

TScanResult DeepScan(TByteSource& src, TArchiveDetection& d) {
  std::vector<TCandidate> byFirst[256];
  for (const TFormat& f : Formats())
    if (f.probe != nullptr && !f.types.empty())
      byFirst[static_cast<uint8_t>(f.probe->magic[0])].push_back({&f, f.probe});
  TScanResult found;
  const int64_t size = src.Size();
  const int64_t headEnd = std::min(size, kHeadSpan);
  if (!ScanRange(src, 0, headEnd, byFirst, found) && size > headEnd)
    ScanRange(src, std::max(headEnd, size - kTailSpan), size, byFirst, found);
  if (IsZipFamily(found.Type)) {
    // no end record was found, or the rules would have answered: the local headers are read
    d.ZipStructureFlags |= htLocal;
    src.ReadAt(found.Offset, d.LocalHeader.data(), static_cast<int64_t>(d.LocalHeader.size()));
  }
  return found;
}

}  // namespace zid
