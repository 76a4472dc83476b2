// The filter table: one record per single-stream compression format.
#include "engine/filter/zidFilters.h"

#include <cstring>

#include "engine/base/zidBytes.h"
#include "engine/other/zidDelzw.h"
#include "engine/other/zidGunzip.h"

namespace zid {

namespace {

bool IsGzip(const uint8_t* b) { return b[0] == kGzipMagic0 && (b[1] == kGzipMagic1 || b[1] == kGzipOldMagic1); }
bool IsCompress(const uint8_t* b) { return b[0] == kGzipMagic0 && b[1] == 0x9D; }

bool IsXz(const uint8_t* b) {
  static const uint8_t xz[6] = {0xFD, '7', 'z', 'X', 'Z', 0};
  if (std::memcmp(b, xz, 6) == 0) return true;
  // LZMA-alone (.lzma) has no magic: the usual properties byte (lc 3, lp 0,
  // pb 2), a dictionary of 2^n or 3 * 2^(n-1) bytes from 4 KiB to 1.5 GiB and a
  // size that is unknown (all ones) or below 2^48.
  if (b[0] != 0x5D) return false;
  const uint32_t dict = Get32(b + 1);
  if (dict < 4096 || dict > (3u << 29)) return false;
  const uint32_t low = dict & (0u - dict);
  if (dict != low && dict != low * 3) return false;
  bool unknown = true;
  for (int i = 5; i < 13; ++i) unknown = unknown && b[i] == 0xFF;
  return unknown || (b[11] == 0 && b[12] == 0);
}

bool IsBzip2(const uint8_t* b) {
  static const uint8_t block[6] = {0x31, 0x41, 0x59, 0x26, 0x53, 0x59};
  static const uint8_t empty[6] = {0x17, 0x72, 0x45, 0x38, 0x50, 0x90};
  return b[0] == 'B' && b[1] == 'Z' && b[2] == 'h' && b[3] >= '1' && b[3] <= '9' &&
         (std::memcmp(b + 4, block, 6) == 0 || std::memcmp(b + 4, empty, 6) == 0);
}

bool IsZstd(const uint8_t* b) {
  // A frame, or a skippable frame (magic 0x184D2A50 to 0x184D2A5F).
  return (b[0] == 0x28 && b[1] == 0xB5 && b[2] == 0x2F && b[3] == 0xFD) ||
         ((b[0] & 0xF0) == 0x50 && b[1] == 0x2A && b[2] == 0x4D && b[3] == 0x18);
}

bool IsLz4(const uint8_t* b) { return b[0] == 0x04 && b[1] == 0x22 && b[2] == 0x4D && b[3] == 0x18; }

// Every member's trailer is checked; a mismatch is bad data to a reader.
int GunzipChecked(const TDecodeJob& job) {
  TGunzipReport report;
  const int r = Gunzip(job, &report);
  return r == drOk && !report.trailersOk ? drInvalidData : r;
}

}  // namespace

const std::vector<TFilter>& Filters() {
  static const std::vector<TFilter> table = {
      {"gzip", atGZip, kGzipDeflate, IsGzip, nullptr, GunzipChecked, {".tgz"}},
      {"compress", atGZip, kGzLzwMethod, IsCompress, nullptr, Delzw, {".taz", ".tz"}},
      {"xz", atXz, kGzXzMethod, IsXz, MakeXzStep, nullptr, {".txz", ".tlz"}},
      {"bzip2", atBzip2, kGzBzip2Method, IsBzip2, MakeBzip2Step, nullptr, {".tbz2", ".tbz", ".tb2"}},
      {"zstd", atZstd, kGzZstdMethod, IsZstd, MakeZstdStep, nullptr, {".tzst"}},
      {"lz4", atLz4, kGzLz4Method, IsLz4, MakeLz4Step, nullptr, {}},
  };
  return table;
}

const TFilter* FilterOfType(TArcType type) {
  for (const TFilter& f : Filters())
    if (f.type == type) return &f;
  return nullptr;
}

const TFilter* FilterBySignature(const uint8_t* head, int64_t len) {
  uint8_t b[kFilterSignatureLen] = {};
  std::memcpy(b, head, static_cast<size_t>(std::clamp<int64_t>(len, 0, kFilterSignatureLen)));
  for (const TFilter& f : Filters())
    if (f.matches(b)) return &f;
  return nullptr;
}

}  // namespace zid
