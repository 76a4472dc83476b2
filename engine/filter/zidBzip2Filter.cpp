// bzip2 through libbz2, one stream per decoder (the reader starts a new one
// for each stream that follows: pbzip2 writes many).
#include <bzlib.h>

#include <cstring>

#include "engine/filter/zidFilters.h"

namespace zid {

namespace {

class TBzip2Step : public TStepDecoder {
 public:
  TBzip2Step() {
    std::memset(&s_, 0, sizeof s_);
    ok_ = BZ2_bzDecompressInit(&s_, 0, 0) == BZ_OK;
  }
  ~TBzip2Step() override {
    if (ok_) BZ2_bzDecompressEnd(&s_);
  }
  bool Ok() const { return ok_; }

  int Step(const uint8_t* in, size_t inLen, bool inEnd, size_t& inUsed, uint8_t* out, size_t outLen,
           size_t& outMade) override {
    // libbz2 counts in unsigned int.
    const unsigned inN = static_cast<unsigned>(std::min<size_t>(inLen, 1u << 30));
    const unsigned outN = static_cast<unsigned>(std::min<size_t>(outLen, 1u << 30));
    s_.next_in = const_cast<char*>(reinterpret_cast<const char*>(in));
    s_.avail_in = inN;
    s_.next_out = reinterpret_cast<char*>(out);
    s_.avail_out = outN;
    const int r = BZ2_bzDecompress(&s_);
    inUsed = inN - s_.avail_in;
    outMade = outN - s_.avail_out;
    if (r == BZ_STREAM_END) return kStepStreamEnd;
    if (r != BZ_OK) return drInvalidData;  // bad data, a failed block CRC
    if (inEnd && inUsed == inLen && outMade == 0) return drInputExhausted;
    return drOk;
  }

 private:
  bz_stream s_;
  bool ok_ = false;
};

}  // namespace

std::unique_ptr<TStepDecoder> MakeBzip2Step() {
  auto d = std::make_unique<TBzip2Step>();
  if (!d->Ok()) return nullptr;
  return d;
}

}  // namespace zid
