#include "engine/zip/zidUnZipDecode.h"

#include "engine/base/zidRawInflate.h"
#include "engine/filter/zidFilters.h"
#include "engine/other/zidCopyStored.h"
#include "engine/zip/zidExplode.h"
#include "engine/zip/zidInflate.h"
#include "engine/zip/zidUnreduce.h"
#include "engine/zip/zidUnshrink.h"

namespace zid {

namespace {

int Stored(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
int Shrunk(const TDecodeJob& job, const TMethod&, uint32_t) { return Unshrink(job); }
int Reduced(const TDecodeJob& job, const TMethod& m, uint32_t) { return Unreduce(job, m.id - 1); }
int Imploded(const TDecodeJob& job, const TMethod&, uint32_t flags) {
  return Explode(job, ExplodeOptionsFromFlags(static_cast<uint16_t>(flags)));
}
int Deflated(const TDecodeJob& job, const TMethod&, uint32_t) {
  int64_t produced = 0;
  return InflateRaw(job, produced);
}
int Deflated64(const TDecodeJob& job, const TMethod&, uint32_t) { return InflateWindow(job, true); }

// Methods 12, 93 and 95 are the whole bzip2, zstd and xz streams.
int Filtered(const TDecodeJob& job, std::unique_ptr<TStepDecoder> (*make)()) {
  int64_t produced = 0;
  return DrainFilter(*StepReader(make, job.source, job.cancel), job, produced);
}
int Bzip2ed(const TDecodeJob& job, const TMethod&, uint32_t) { return Filtered(job, MakeBzip2Step); }
int Zstded(const TDecodeJob& job, const TMethod&, uint32_t) { return Filtered(job, MakeZstdStep); }
int Xzed(const TDecodeJob& job, const TMethod&, uint32_t) { return Filtered(job, MakeXzStep); }

// Method 14: the LZMA SDK's version (2 bytes), the size of the properties
// (2 bytes, 5) and the properties, then raw LZMA1 data; the end marker that
// flag bit 1 announces is not needed, the size being known.
int Lzmaed(const TDecodeJob& job, const TMethod&, uint32_t) {
  constexpr int kHead = 9;
  uint8_t h[kHead];
  TDecodeSource src = job.source;
  if (src.budget >= 0 && src.budget < kHead) return drInputExhausted;
  for (int got = 0; got < kHead;) {
    const int64_t n = src.read ? src.read(h + got, kHead - got) : 0;
    if (n <= 0) return drInputExhausted;
    got += static_cast<int>(n);
  }
  if (h[2] != 5 || h[3] != 0) return drInvalidData;
  if (src.budget >= 0) src.budget -= kHead;
  const int64_t expected = job.expectedSize;
  int64_t produced = 0;
  auto make = [&h, expected] { return MakeLzmaRawStep(h + 4, expected); };
  return DrainFilter(*StepReader(make, src, job.cancel), job, produced);
}

}  // namespace

const TMethodTable& ZipMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored", Stored, 0, 0, cmStore, "store"},
      {1, nullptr, "Shrunk", Shrunk},
      {2, nullptr, "Reduce-1", Reduced},
      {3, nullptr, "Reduce-2", Reduced},
      {4, nullptr, "Reduce-3", Reduced},
      {5, nullptr, "Reduce-4", Reduced},
      {6, nullptr, "Imploded", Imploded},
      {7, nullptr, "Tokened"},
      {8, nullptr, "DeflateN", Deflated, 15, 0, cmDeflate, "deflate", InflateWhole},
      {9, nullptr, "Def-64N", Deflated64, 16},
      {10, nullptr, "DCL-implode"},
      {12, nullptr, "BZip2", Bzip2ed},
      {14, nullptr, "LZMA", Lzmaed},
      {93, nullptr, "Zstd", Zstded},
      {95, nullptr, "XZ", Xzed},
  };
  return table;
}

std::string ZipMethodName(int method, uint32_t flags, uint32_t attr) {
  if (method == 8 || method == 9) return DeflateName(flags, method == 9);
  if (ZipMethods().Find(method) == nullptr && (attr & 0x10)) return "<Dir>";
  return ZipMethods().Name(method);
}

bool IsSupportedZipMethod(uint16_t method) {
  const TMethod* m = ZipMethods().Find(method);
  return m != nullptr && m->Decodes();
}

int DecodeZipMethod(uint16_t method, uint16_t gpFlags, const TDecodeJob& job) {
  const TMethod* m = ZipMethods().Find(method);
  if (m == nullptr || !m->Decodes()) return kMethodUnsupported;
  return m->decode(job, *m, gpFlags);
}

}  // namespace zid
