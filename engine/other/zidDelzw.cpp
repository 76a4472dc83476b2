#include "engine/other/zidDelzw.h"

#include <memory>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr uint8_t kMagic0 = 0x1F;
constexpr uint8_t kMagic1 = 0x9D;
constexpr uint8_t kBlockMode = 0x80;
constexpr uint8_t kReserved = 0x60;
constexpr uint8_t kWidthMask = 0x1F;
constexpr unsigned kInitWidth = 9;
constexpr unsigned kMaxWidth = 16;
constexpr uint32_t kTableSize = 1u << kMaxWidth;
constexpr uint32_t kClear = 256;
constexpr uint32_t kOutWindow = 65536;

class TDelzw {
 public:
  explicit TDelzw(const TDecodeJob& job)
      : job_(job), br_(job.source), out_(job, kOutWindow), prefix_(new uint16_t[kTableSize]()),
        suffix_(new uint8_t[kTableSize]()), stack_(new uint8_t[kTableSize]) {}

  int Run() {
    uint8_t h[kLzwHeaderSize];
    for (uint8_t& b : h) b = static_cast<uint8_t>(br_.Get(8));
    if (br_.Overrun()) return drInputExhausted;
    if (CheckLzwHeader(h) != TLzwHeader::Ok) return drInvalidData;
    const bool blockMode = (h[2] & kBlockMode) != 0;
    const unsigned maxWidth = h[2] & kWidthMask;
    const uint32_t tableEnd = 1u << maxWidth;

    unsigned width = kInitWidth;
    uint32_t maxCode = (1u << width) - 1;
    uint32_t freeEnt = blockMode ? kClear + 1 : kClear;
    unsigned inGroup = 0;  // codes read since the current group of eight began
    int32_t old = -1;
    uint8_t first = 0;  // first byte of the previous string
    for (;;) {
      if (DecodeCancelled(job_)) return drCancelled;
      if (freeEnt > maxCode) {
        SkipRestOfGroup(width, inGroup);
        ++width;
        // At the maximum width the table fills up to its last code and the width stays.
        maxCode = width == maxWidth ? tableEnd : (1u << width) - 1;
        inGroup = 0;
      }
      uint32_t code = br_.Get(width);
      if (br_.Overrun()) break;  // what is left is padding of the last byte
      inGroup = (inGroup + 1) & 7;

      if (old < 0) {
        if (code >= 256) return drInvalidData;
        old = static_cast<int32_t>(code);
        first = static_cast<uint8_t>(code);
        if (!out_.Put(first)) return Stopped();
        continue;
      }
      if (code == kClear && blockMode) {
        SkipRestOfGroup(width, inGroup);
        width = kInitWidth;
        maxCode = (1u << width) - 1;
        // The next code makes the entry at 256, which the clear code hides for good.
        freeEnt = kClear;
        inGroup = 0;
        continue;
      }
      const uint32_t incoming = code;
      uint32_t sp = kTableSize;
      if (code >= freeEnt) {
        // Only the entry being defined may be used before it exists: the
        // previous string followed by its own first byte.
        if (code > freeEnt || freeEnt >= tableEnd) return drInvalidData;
        stack_[--sp] = first;
        code = static_cast<uint32_t>(old);
      }
      // Entries point at lower codes only, so the chain ends within the table size.
      while (code >= 256) {
        if (sp <= 1) return drInvalidData;
        stack_[--sp] = suffix_[code];
        code = prefix_[code];
      }
      first = static_cast<uint8_t>(code);
      stack_[--sp] = first;
      if (!out_.PutBytes(stack_.get() + sp, kTableSize - sp)) return Stopped();
      if (freeEnt < tableEnd) {
        prefix_[freeEnt] = static_cast<uint16_t>(old);
        suffix_[freeEnt] = first;
        ++freeEnt;
      }
      old = static_cast<int32_t>(incoming);
    }
    return out_.Finish();
  }

 private:
  // The compressor pads the group of eight codes it was filling when the
  // width changes or the table is cleared.
  void SkipRestOfGroup(unsigned width, unsigned inGroup) {
    if (inGroup == 0) return;
    for (unsigned i = inGroup; i < 8; ++i) br_.Get(width);
  }

  // Output refused: a failed sink, or more than the declared size.
  int Stopped() { return out_.Status() != drOk ? out_.Status() : drInvalidData; }

  const TDecodeJob& job_;
  TBitReader br_;
  TOutWindow out_;
  std::unique_ptr<uint16_t[]> prefix_;
  std::unique_ptr<uint8_t[]> suffix_;
  std::unique_ptr<uint8_t[]> stack_;
};

}  // namespace

TLzwHeader CheckLzwHeader(const uint8_t* header) {
  if (header[0] != kMagic0 || header[1] != kMagic1) return TLzwHeader::BadMagic;
  if (header[2] & kReserved) return TLzwHeader::ReservedBits;
  const unsigned width = header[2] & kWidthMask;
  if (width < kInitWidth || width > kMaxWidth) return TLzwHeader::BadWidth;
  return TLzwHeader::Ok;
}

int Delzw(const TDecodeJob& job) {
  TDelzw d(job);
  return d.Run();
}

}  // namespace zid
