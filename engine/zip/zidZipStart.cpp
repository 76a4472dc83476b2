#include "engine/zip/zidZipStart.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidStreams.h"

namespace zid {

int64_t ZipArchiveStart(const std::string& file, const TArchiveDetection& d) {
  if (d.ArcStartOffset <= 0) return d.ArcStartOffset;
  TFileStream32 in(file, plat::fmOpenRead | plat::fmShareDenyNone);
  if (!in.IsOpen()) return d.ArcStartOffset;
  std::vector<uint8_t> buf(65536 + 3);
  int64_t pos = 0;
  size_t carry = 0;
  while (pos < d.ArcStartOffset) {
    const int64_t got = in.Read(buf.data() + carry, 65536);
    if (got <= 0) break;
    const size_t n = carry + static_cast<size_t>(got);
    for (size_t i = 0; i + 4 <= n; ++i)
      if (buf[i] == 'P' && buf[i + 1] == 'K' && buf[i + 2] == 3 && buf[i + 3] == 4)
        return std::min<int64_t>(pos - static_cast<int64_t>(carry) + static_cast<int64_t>(i), d.ArcStartOffset);
    carry = std::min<size_t>(3, n);
    std::copy(buf.begin() + static_cast<std::ptrdiff_t>(n - carry), buf.begin() + static_cast<std::ptrdiff_t>(n),
              buf.begin());
    pos += got;
  }
  return d.ArcStartOffset;
}

}  // namespace zid
