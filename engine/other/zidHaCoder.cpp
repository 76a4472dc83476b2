#include "engine/other/zidHaCoder.h"

namespace zid {

namespace {
constexpr uint32_t kBlock = 16384;
}

THaCoder::THaCoder(const TDecodeSource& src) : src_(src), in_(new uint8_t[kBlock]) {
  value_ = static_cast<uint16_t>((NextByte() & 0xFF) << 8);
  value_ |= static_cast<uint16_t>(NextByte() & 0xFF);
}

int THaCoder::NextByte() {
  if (pos_ == end_) {
    int64_t want = kBlock;
    if (src_.budget >= 0 && src_.budget - taken_ < want) want = src_.budget - taken_;
    const int64_t got = !ended_ && want > 0 && src_.read ? src_.read(in_.get(), want) : 0;
    if (got <= 0) {
      ended_ = true;
      ++pastEnd_;
      return -1;
    }
    taken_ += got > want ? want : got;
    pos_ = 0;
    end_ = static_cast<uint32_t>(got > want ? want : got);
  }
  return in_[pos_++];
}

unsigned THaCoder::NextBit() {
  pattern_ <<= 1;
  if ((pattern_ & 0xFF) == 0) {
    const int b = NextByte();
    // past the end every bit is a one
    pattern_ = b < 0 ? 0x100u : ((static_cast<unsigned>(b) << 1) | 1u);
  }
  return (pattern_ >> 8) & 1u;
}

uint16_t THaCoder::Threshold(uint16_t tot) {
  const uint32_t range = uint32_t{static_cast<uint16_t>(high_ - low_)} + 1;
  const uint32_t offset = uint32_t{static_cast<uint16_t>(value_ - low_)} + 1;
  if (tot == 0) {
    broken_ = true;
    return 0;
  }
  return static_cast<uint16_t>((offset * tot - 1) / range);
}

void THaCoder::Take(uint16_t low, uint16_t high, uint16_t tot) {
  if (tot == 0 || low >= high || high > tot) {
    broken_ = true;
    return;
  }
  const uint32_t range = uint32_t{static_cast<uint16_t>(high_ - low_)} + 1;
  high_ = static_cast<uint16_t>(static_cast<uint16_t>(range * high / tot - 1) + low_);
  low_ = static_cast<uint16_t>(low_ + static_cast<uint16_t>(range * low / tot));
  // shift out the bits low and high agree on
  while (((high_ ^ low_) & 0x8000) == 0) {
    low_ = static_cast<uint16_t>(low_ << 1);
    high_ = static_cast<uint16_t>((high_ << 1) | 1);
    value_ = static_cast<uint16_t>((value_ << 1) | NextBit());
  }
  // the underflow case: low 01..., high 10...
  while ((low_ & 0x4000) && !(high_ & 0x4000)) {
    low_ = static_cast<uint16_t>((low_ << 1) & 0x7FFF);
    high_ = static_cast<uint16_t>((high_ << 1) | 0x8001);
    value_ = static_cast<uint16_t>(((value_ << 1) ^ 0x8000) | NextBit());
  }
}

}  // namespace zid
