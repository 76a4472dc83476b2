// Zstandard through libzstd, one frame per decoder (the reader starts a new
// one for each frame that follows); the frame's checksum, when it has one,
// is checked by the library.
#include <zstd.h>

#include "engine/filter/zidFilters.h"

namespace zid {

namespace {

class TZstdStep : public TStepDecoder {
 public:
  TZstdStep() : d_(ZSTD_createDCtx()) {}
  ~TZstdStep() override { ZSTD_freeDCtx(d_); }
  bool Ok() const { return d_ != nullptr; }

  int Step(const uint8_t* in, size_t inLen, bool inEnd, size_t& inUsed, uint8_t* out, size_t outLen,
           size_t& outMade) override {
    ZSTD_inBuffer i{in, inLen, 0};
    ZSTD_outBuffer o{out, outLen, 0};
    const size_t r = ZSTD_decompressStream(d_, &o, &i);
    inUsed = i.pos;
    outMade = o.pos;
    if (ZSTD_isError(r)) return drInvalidData;
    if (r == 0) return kStepStreamEnd;
    if (inEnd && inUsed == inLen && outMade == 0) return drInputExhausted;
    return drOk;
  }

 private:
  ZSTD_DCtx* d_;
};

}  // namespace

std::unique_ptr<TStepDecoder> MakeZstdStep() {
  auto d = std::make_unique<TZstdStep>();
  if (!d->Ok()) return nullptr;
  return d;
}

}  // namespace zid
