#include "engine/other/zidArcMethods.h"

#include "engine/base/zidBitReader.h"
#include "engine/other/zidArcOldLzw.h"
#include "engine/other/zidArcRle.h"
#include "engine/other/zidArcSqueeze.h"
#include "engine/other/zidCopyStored.h"
#include "engine/other/zidLzw.h"
#include "engine/other/zidPakCrush.h"
#include "engine/other/zidPakDistill.h"

namespace zid {

namespace {

constexpr unsigned kCrunchWidth = 12;  // the byte in front of method 8's codes

int Stored(const TDecodeJob& job) { return CopyStored(job); }
int OldLzw(const TDecodeJob& job) { return ArcOldLzwDecode(job, false); }
int OldLzwNewHash(const TDecodeJob& job) { return ArcOldLzwDecode(job, true); }
int Crunched(const TDecodeJob& job) {
  TBitReader br(job.source);
  if (br.Get(8) != kCrunchWidth) return br.Overrun() ? drInputExhausted : drInvalidData;
  return LzwDecode(job, br, kArcCrunch);
}
int Squashed(const TDecodeJob& job) { return LzwDecode(job, kArcSquash); }

template <int (*Decode)(const TDecodeJob&)>
int Plain(const TDecodeJob& job, const TMethod&, uint32_t) {
  return Decode(job);
}

// The decoder, then the run-length step (its output size is not stored).
template <int (*Decode)(const TDecodeJob&)>
int WithRuns(const TDecodeJob& job, const TMethod&, uint32_t) {
  TArcRleSink rle(job.sink, job.expectedSize);
  TDecodeJob inner = job;
  inner.sink = rle.Sink();
  inner.expectedSize = -1;
  return ArcRleResult(Decode(inner), rle);
}

}  // namespace

const TMethodTable& ArcMethods() {
  static const TMethodTable table = {
      {1, nullptr, "Stored", Plain<Stored>},
      {2, nullptr, "Stored", Plain<Stored>},
      {3, nullptr, "Packed", WithRuns<Stored>},
      {4, nullptr, "Squeezed", WithRuns<ArcUnsqueeze>},
      {5, nullptr, "Crunched", Plain<OldLzw>},
      {6, nullptr, "Crunched", WithRuns<OldLzw>},
      {7, nullptr, "Squashed", WithRuns<OldLzwNewHash>},
      {8, nullptr, "Pack10", WithRuns<Crunched>},
      {9, nullptr, "Pack11", Plain<Squashed>},
      {10, nullptr, "Pack12"},
      {11, nullptr, "Stored"},
      {30, nullptr, "<Dir>"},
  };
  return table;
}

const TMethodTable& PakMethods() {
  static const TMethodTable table = {
      {2, nullptr, "Stored", Plain<Stored>},
      {3, nullptr, "RLE", WithRuns<Stored>},
      {4, nullptr, "Squeezed", WithRuns<ArcUnsqueeze>},
      {5, nullptr, "FixedLen", Plain<OldLzw>},
      {6, nullptr, "FixedLen", WithRuns<OldLzw>},
      {7, nullptr, "FixedLen", WithRuns<OldLzwNewHash>},
      {8, nullptr, "Varible", WithRuns<Crunched>},
      {9, nullptr, "Varible", Plain<Squashed>},
      {10, nullptr, "Crushed", WithRuns<PakUncrush>},
      {11, nullptr, "Distill", Plain<PakUndistill>},
  };
  return table;
}

}  // namespace zid
