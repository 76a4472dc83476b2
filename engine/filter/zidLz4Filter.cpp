// LZ4 frames through liblz4, one frame per decoder (the reader starts a new
// one for each frame that follows); block and content checksums are checked
// by the library. The legacy format of the first lz4 tools is not read.
#include <lz4frame.h>

#include "engine/filter/zidFilters.h"

namespace zid {

namespace {

class TLz4Step : public TStepDecoder {
 public:
  TLz4Step() {
    if (LZ4F_isError(LZ4F_createDecompressionContext(&d_, LZ4F_VERSION))) d_ = nullptr;
  }
  ~TLz4Step() override {
    if (d_) LZ4F_freeDecompressionContext(d_);
  }
  bool Ok() const { return d_ != nullptr; }

  int Step(const uint8_t* in, size_t inLen, bool inEnd, size_t& inUsed, uint8_t* out, size_t outLen,
           size_t& outMade) override {
    size_t o = outLen, i = inLen;
    const size_t r = LZ4F_decompress(d_, out, &o, in, &i, nullptr);
    inUsed = i;
    outMade = o;
    if (LZ4F_isError(r)) return drInvalidData;
    if (r == 0) return kStepStreamEnd;
    if (inEnd && inUsed == inLen && outMade == 0) return drInputExhausted;
    return drOk;
  }

 private:
  LZ4F_dctx* d_ = nullptr;
};

}  // namespace

std::unique_ptr<TStepDecoder> MakeLz4Step() {
  auto d = std::make_unique<TLz4Step>();
  if (!d->Ok()) return nullptr;
  return d;
}

}  // namespace zid
