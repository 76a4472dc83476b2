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
// Output collects in a buffer and goes to the sink once this much is there;
// the slack behind it holds the longest string a code can stand for.
constexpr uint32_t kFlushAt = 131072;
constexpr uint32_t kOutBuffer = kFlushAt + kTableSize;

class TDelzw {
 public:
  explicit TDelzw(const TDecodeJob& job)
      : job_(job), br_(job.source), prefix_(new uint16_t[kTableSize]()), suffix_(new uint8_t[kTableSize]()),
        length_(new uint16_t[kTableSize]()), out_(new uint8_t[kOutBuffer]) {
    for (uint32_t c = 0; c < 256; ++c) {
      suffix_[c] = static_cast<uint8_t>(c);
      length_[c] = 1;
    }
    limit_ = job.expectedSize;
  }

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
        out_[pos_++] = first;
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
      uint32_t len;
      if (code < freeEnt) {
        len = length_[code];
        first = Unwind(code, len);
      } else {
        // Only the entry being defined may be used before it exists: the
        // previous string followed by its own first byte.
        if (code > freeEnt || freeEnt >= tableEnd) return drInvalidData;
        len = length_[old] + 1u;
        first = Unwind(static_cast<uint32_t>(old), len - 1);
        out_[pos_ + len - 1] = first;
      }
      pos_ += len;
      if (freeEnt < tableEnd) {
        prefix_[freeEnt] = static_cast<uint16_t>(old);
        suffix_[freeEnt] = first;
        length_[freeEnt] = static_cast<uint16_t>(length_[old] + 1);
        ++freeEnt;
      }
      old = static_cast<int32_t>(code);
      if (pos_ >= kFlushAt) {
        const int r = Flush();
        if (r != drOk) return r;
      }
    }
    return Flush();
  }

 private:
  // Writes the string of `code` (len bytes; entries point at lower codes
  // only, so the chain is exactly that long) at the output position, last
  // byte first. Returns its first byte.
  uint8_t Unwind(uint32_t code, uint32_t len) {
    uint8_t* p = out_.get() + pos_ + len - 1;
    while (code >= 256) {
      *p-- = suffix_[code];
      code = prefix_[code];
    }
    *p = static_cast<uint8_t>(code);
    return static_cast<uint8_t>(code);
  }

  // The compressor pads the group of eight codes it was filling when the
  // width changes or the table is cleared.
  void SkipRestOfGroup(unsigned width, unsigned inGroup) {
    if (inGroup == 0) return;
    for (unsigned i = inGroup; i < 8; ++i) br_.Get(width);
  }

  // Hands the collected output to the sink. Past the declared size only what
  // fits goes out, and the stream is refused.
  int Flush() {
    if (DecodeCancelled(job_)) return drCancelled;
    int64_t n = pos_;
    bool over = false;
    if (limit_ >= 0 && written_ + n > limit_) {
      n = limit_ - written_;
      over = true;
    }
    if (n > 0) {
      if (!job_.sink.write || job_.sink.write(out_.get(), n) != n) return drOutputFailed;
      written_ += n;
      if (job_.progress) job_.progress(written_);
    }
    pos_ = 0;
    return over ? drInvalidData : drOk;
  }

  const TDecodeJob& job_;
  TBitReader br_;
  std::unique_ptr<uint16_t[]> prefix_;
  std::unique_ptr<uint8_t[]> suffix_;
  std::unique_ptr<uint16_t[]> length_;  // string length of each code
  std::unique_ptr<uint8_t[]> out_;
  uint32_t pos_ = 0;
  int64_t written_ = 0;
  int64_t limit_ = -1;
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
