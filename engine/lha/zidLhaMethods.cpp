#include "engine/lha/zidLhaMethods.h"

#include "engine/base/zidRawInflate.h"
#include "engine/lha/zidLarc.h"
#include "engine/lha/zidLzh5.h"
#include "engine/lha/zidLzhuf.h"
#include "engine/other/zidCopyStored.h"

namespace zid {

namespace {

int Stored(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
int Lzhuf(const TDecodeJob& job, const TMethod&, uint32_t) { return LzhufDecode(job); }
int Lzh(const TDecodeJob& job, const TMethod& m, uint32_t) { return LzhDecode(job, LzhParamsOf(m)); }
int Lz5(const TDecodeJob& job, const TMethod&, uint32_t) { return Lz5Decode(job); }
int Lzs(const TDecodeJob& job, const TMethod&, uint32_t) { return LzsDecode(job); }
int Deflated(const TDecodeJob& job, const TMethod&, uint32_t) {
  int64_t made = 0;  // the job's sink counts the bytes
  return InflateRaw(job, made);
}

}  // namespace

const TMethodTable& LhaMethods() {
  static const TMethodTable table = {
      {'0', "-lh0-", "Stored", Stored, 0, 0, cmStore, "store"},
      {'1', "-lh1-", "Frozen-1", Lzhuf, 12},
      {'2', "-lh2-", "Frozen-2"},
      {'3', "-lh3-", "Frozen-3"},
      {'4', "-lh4-", "Frozen-4", Lzh, 12, 4},
      {'5', "-lh5-", "Frozen-5", Lzh, 13, 4, cmFrozen5, "lh5"},
      {'6', "-lh6-", "Frozen-6", Lzh, 15, 5, cmFrozen6, "lh6"},
      {'7', "-lh7-", "Frozen-7", Lzh, 16, 5},
      {'d', "-lhd-", "<Dir>"},
      {'4', "-lz4-", "Stored", Stored},
      {'5', "-lz5-", "LArc-5", Lz5, 12},
      {'s', "-lzs-", "LArc-s", Lzs, 11},
  };
  return table;
}

const TMethodTable& BhMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored", Stored, 0, 0, cmStore, "store"},
      {1, nullptr, "Fused1", Lzh, 13, 4},
      {2, nullptr, "Deflate", Deflated, 15},
      {3, nullptr, "Fused3", Lzh, 15, 5, cmFuse, "fuse"},
      {8, nullptr, "DeflateN", Deflated, 15, 0, cmDeflate, "deflate"},
  };
  return table;
}

std::string BhMethodName(int method, uint32_t flags) {
  return method == 8 ? DeflateName(flags, false) : BhMethods().Name(method);
}

}  // namespace zid
