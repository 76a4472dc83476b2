#include "engine/zip/zidUnZipDecode.h"

#include "engine/base/zidRawInflate.h"
#include "engine/other/zidCopyStored.h"
#include "engine/zip/zidExplode.h"
#include "engine/zip/zidInflate.h"
#include "engine/zip/zidUnreduce.h"
#include "engine/zip/zidUnshrink.h"

namespace zid {

bool IsSupportedZipMethod(uint16_t method) { return method <= 6 || method == 8 || method == 9; }

int DecodeZipMethod(uint16_t method, uint16_t gpFlags, const TDecodeJob& job) {
  SetDeflate64(method == 9);
  if (!IsSupportedZipMethod(method)) return kMethodUnsupported;
  int64_t made = 0;  // counted by the job's sink as well
  int r;
  switch (method) {
    case 0: r = CopyStored(job); break;
    case 1: r = Unshrink(job); break;
    case 6: r = Explode(job, ExplodeOptionsFromFlags(gpFlags)); break;
    case 8: r = InflateRaw(job, made); break;
    case 9: r = InflateWindow(job, true); break;
    default: r = Unreduce(job, method - 1); break;
  }
  SetDeflate64(false);
  return r;
}

}  // namespace zid
