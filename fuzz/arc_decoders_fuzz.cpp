// ARC's and PAK's decoders on arbitrary bytes: byte 0 picks squeezed, the old
// hashed LZW (old and new hash), crunched, squashed, the run-length step behind
// a stored copy, PAK's crushed or distilled; bytes 1-3 give the declared size, 0xFFFFFF meaning unknown.
// Any result is fine except a crash, a hang or output beyond the declared size.
#include "engine/other/zidArcOldLzw.h"
#include "engine/other/zidArcRle.h"
#include "engine/other/zidArcSqueeze.h"
#include "engine/other/zidCopyStored.h"
#include "engine/other/zidLzw.h"
#include "engine/other/zidPakCrush.h"
#include "engine/other/zidPakDistill.h"
#include "fuzz/fuzz_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  int64_t declared = fuzzframe::Size24(data);
  if (declared == 0xFFFFFF) declared = -1;
  const int pick = data[0] % 8;
  fuzzframe::RunDecoder(data, size, declared, [pick](const zid::TDecodeJob& job) {
    switch (pick) {
      case 0: return zid::ArcUnsqueeze(job);
      case 1: return zid::ArcOldLzwDecode(job, false);
      case 2: return zid::ArcOldLzwDecode(job, true);
      case 3: return zid::LzwDecode(job, zid::kArcCrunch);
      case 4: return zid::LzwDecode(job, zid::kArcSquash);
      case 6: return zid::PakUncrush(job);
      case 7: return zid::PakUndistill(job);
      default: {
        zid::TArcRleSink rle(job.sink, job.expectedSize);
        zid::TDecodeJob inner = job;
        inner.sink = rle.Sink();
        inner.expectedSize = -1;
        return zid::ArcRleResult(zid::CopyStored(inner), rle);
      }
    }
  });
  return 0;
}
