#include "engine/zip/zidZipStart.h"

#include <algorithm>
#include <vector>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidUnZipDecode.h"

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

namespace {
bool ZipProbeCheck(TByteSource& src, int64_t start) {
  uint8_t h[30 + 256];
  const int64_t got = src.ReadAt(start, h, sizeof h);
  if (got < 30) return false;
  const unsigned version = h[4], flags = Get16(h + 6), method = Get16(h + 8), date = Get16(h + 12);
  const unsigned nameLen = Get16(h + 26), extraLen = Get16(h + 28);
  const uint32_t packed = Get32(h + 18);
  if (version > 63 || method > 99 || ZipMethods().Find(static_cast<int>(method)) == nullptr) return false;
  const unsigned month = (date >> 5) & 15, day = date & 31;
  if (date != 0 && (month < 1 || month > 12 || day < 1)) return false;
  if (nameLen == 0 || nameLen > 1024) return false;
  for (unsigned i = 0; i < nameLen && 30 + i < got; ++i)
    if (h[30 + i] < 0x20 || h[30 + i] == 0x7F) return false;
  const int64_t dataEnd = start + 30 + nameLen + extraLen + ((flags & 8) ? 0 : int64_t{packed});
  return packed == 0xFFFFFFFFu || dataEnd <= src.Size();
}
}  // namespace

const TProbe kZipProbe = {"PK\x03\x04", 4, 0, ZipProbeCheck};

}  // namespace zid
