// xz and .lzma through liblzma: xz streams one after another (with their
// padding) and the old LZMA-alone files; and raw LZMA1 for ZIP's method 14.
#include <lzma.h>

#include "engine/filter/zidFilters.h"

namespace zid {

namespace {

// The most memory a stream may ask for: xz -9 needs 65 MiB, a hostile
// header could ask for gigabytes.
constexpr uint64_t kMemLimit = uint64_t{1} << 30;

class TLzmaStep : public TStepDecoder {
 public:
  TLzmaStep() = default;
  ~TLzmaStep() override { lzma_end(&s_); }
  lzma_stream s_ = LZMA_STREAM_INIT;
  int64_t left = -1;  // raw LZMA1: the bytes still expected (-1: up to the end marker)

  int Step(const uint8_t* in, size_t inLen, bool inEnd, size_t& inUsed, uint8_t* out, size_t outLen,
           size_t& outMade) override {
    if (left >= 0 && static_cast<uint64_t>(left) < outLen) outLen = static_cast<size_t>(left);
    s_.next_in = in;
    s_.avail_in = inLen;
    s_.next_out = out;
    s_.avail_out = outLen;
    const lzma_ret r = lzma_code(&s_, inEnd ? LZMA_FINISH : LZMA_RUN);
    inUsed = inLen - s_.avail_in;
    outMade = outLen - s_.avail_out;
    if (left >= 0) {
      left -= static_cast<int64_t>(outMade);
      if (left == 0) return kStepStreamEnd;
    }
    switch (r) {
      case LZMA_OK: return drOk;
      case LZMA_STREAM_END: return kStepStreamEnd;
      case LZMA_BUF_ERROR: return inEnd ? drInputExhausted : drOk;
      default: return drInvalidData;  // corrupt data, a failed check, too much memory asked
    }
  }
};

}  // namespace

std::unique_ptr<TStepDecoder> MakeXzStep() {
  auto d = std::make_unique<TLzmaStep>();
  if (lzma_auto_decoder(&d->s_, kMemLimit, LZMA_CONCATENATED) != LZMA_OK) return nullptr;
  return d;
}

std::unique_ptr<TStepDecoder> MakeLzmaRawStep(const uint8_t* props, int64_t expected) {
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(&filters[0], nullptr, props, 5) != LZMA_OK) return nullptr;
  auto d = std::make_unique<TLzmaStep>();
  const lzma_ret r = lzma_raw_decoder(&d->s_, filters);
  free(filters[0].options);
  if (r != LZMA_OK) return nullptr;
  d->left = expected;
  return d;
}

}  // namespace zid
