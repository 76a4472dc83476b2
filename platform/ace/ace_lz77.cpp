#include "platform/ace/ace_lz77.h"

#include <algorithm>
#include <cstring>

namespace ace {

namespace {

constexpr unsigned kMainAlphabet = 284;
constexpr unsigned kLengthAlphabet = 255;
constexpr unsigned kMaxWidth = 11;
constexpr unsigned kModeSymbol = 283;

}  // namespace

void THistory::Save(TSnapshot& s) const {
  s.bytes.clear();
  ForEachPiece(total_ - Available(), [&](const uint8_t* p, size_t n) { s.bytes.insert(s.bytes.end(), p, p + n); });
  s.total = total_;
  s.filled = filled_;
}

void THistory::Restore(const TSnapshot& s) {
  uint64_t at = s.total - s.bytes.size();
  for (uint8_t b : s.bytes) buf_[(at++) & kMask] = b;
  total_ = s.total;
  filled_ = s.filled;
}

void TLz77::Reset() {
  left_ = 0;
  recent_ = {0, 0, 0, 0};
}

void TLz77::ReadBlockHeader() {
  main_.Read(br_, kMaxWidth, kMainAlphabet);
  lengths_.Read(br_, kMaxWidth, kLengthAlphabet);
  left_ = br_.Read(15);
  // a block of no symbols has never been seen; it would make no progress
  if (left_ == 0) Fail(TResult::DataError);
}

TLz77::TStop TLz77::Decode(uint64_t hard, uint64_t soft, uint64_t& produced) {
  while (produced < soft) {
    if (left_ == 0) ReadBlockHeader();
    --left_;
    const unsigned s = main_.Decode(br_);
    if (s < 256) {
      hist_.Put(static_cast<uint8_t>(s));
      ++produced;
      continue;
    }
    uint32_t dist;
    uint32_t len;
    if (s < 260) {
      // a recent distance: move to the newest place
      const unsigned slot = s - 256;
      dist = recent_[3 - slot];
      for (unsigned k = 3 - slot; k < 3; ++k) recent_[k] = recent_[k + 1];
      recent_[3] = dist;
      len = lengths_.Decode(br_) + (slot < 2 ? 2 : 3);
    } else if (s < kModeSymbol) {
      const unsigned w = s - 260;
      dist = w < 2 ? w : (1u << (w - 1)) + br_.Read(w - 1);
      recent_ = {recent_[1], recent_[2], recent_[3], dist};
      len = lengths_.Decode(br_) + (dist <= 255 ? 2 : dist <= 8191 ? 3 : 4);
    } else if (s == kModeSymbol && modes_) {
      return TStop::Mode;
    } else {
      Fail(TResult::DataError);
    }
    if (static_cast<uint64_t>(dist) + 1 > hist_.Available() || len > hard - produced) Fail(TResult::DataError);
    hist_.Copy(dist + 1, len);
    produced += len;
  }
  return produced >= hard ? TStop::Limit : TStop::Soft;
}

}  // namespace ace
