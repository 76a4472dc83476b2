#include "engine/zip/zidUnZipDecode.h"

#include "engine/base/zidRawInflate.h"
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
      {8, nullptr, "DeflateN", Deflated, 15, 0, cmDeflate, "deflate"},
      {9, nullptr, "Def-64N", Deflated64, 16},
      {10, nullptr, "DCL-implode"},
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
