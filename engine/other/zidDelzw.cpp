#include "engine/other/zidDelzw.h"

#include "engine/base/zidBitReader.h"
#include "engine/other/zidLzw.h"

namespace zid {

namespace {

constexpr uint8_t kMagic0 = 0x1F;
constexpr uint8_t kMagic1 = 0x9D;
constexpr uint8_t kBlockMode = 0x80;
constexpr uint8_t kReserved = 0x60;
constexpr uint8_t kWidthMask = 0x1F;
constexpr unsigned kMinWidth = 9;
constexpr unsigned kMaxWidth = 16;

}  // namespace

TLzwHeader CheckLzwHeader(const uint8_t* header) {
  if (header[0] != kMagic0 || header[1] != kMagic1) return TLzwHeader::BadMagic;
  if (header[2] & kReserved) return TLzwHeader::ReservedBits;
  const unsigned width = header[2] & kWidthMask;
  if (width < kMinWidth || width > kMaxWidth) return TLzwHeader::BadWidth;
  return TLzwHeader::Ok;
}

int Delzw(const TDecodeJob& job) {
  TBitReader br(job.source);
  uint8_t h[kLzwHeaderSize];
  for (uint8_t& b : h) b = static_cast<uint8_t>(br.Get(8));
  if (br.Overrun()) return drInputExhausted;
  if (CheckLzwHeader(h) != TLzwHeader::Ok) return drInvalidData;
  return LzwDecode(job, br, CompressLzwParams(h[2] & kWidthMask, (h[2] & kBlockMode) != 0));
}

}  // namespace zid
