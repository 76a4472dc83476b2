#include "engine/other/zidLzw.h"

#include <cstdint>
#include <limits>
#include <memory>

namespace zid {

namespace {

constexpr unsigned kMinWidth = 9;
constexpr unsigned kMaxWidth = 16;
constexpr uint32_t kClear = 256;
constexpr uint32_t kEnd = 257;
// Output collects in a buffer and goes to the sink once this much is there;
// the slack behind it holds the longest string a code can stand for.
constexpr uint32_t kFlushAt = 131072;

class TLzw {
 public:
  TLzw(const TDecodeJob& job, TBitReader& br, const TLzwParams& p)
      : job_(job), br_(br), p_(p), tableEnd_(1u << p.maxWidth), prefix_(new uint16_t[tableEnd_]()),
        suffix_(new uint8_t[tableEnd_]()), length_(new uint16_t[tableEnd_]()),
        out_(new uint8_t[kFlushAt + tableEnd_]) {
    for (uint32_t c = 0; c < 256; ++c) {
      suffix_[c] = static_cast<uint8_t>(c);
      length_[c] = 1;
    }
    limit_ = job.expectedSize >= 0 ? job.expectedSize : std::numeric_limits<int64_t>::max();
    firstFree_ = p.zoo ? kEnd + 1 : p.clearCode ? kClear + 1 : kClear;
  }

  // Zoo: ZOO's variant (TLzwParams::zoo) as a constant, so compress's loop
  // carries none of its tests.
  template <bool Zoo>
  int Run() {
    if (limit_ == 0) return drOk;
    const bool clearCode = p_.clearCode;
    const unsigned maxWidth = p_.maxWidth;
    const int ended = job_.expectedSize < 0 ? drOk : drInputExhausted;
    unsigned width = kMinWidth;
    uint32_t maxCode = (1u << width) - 1;
    uint32_t freeEnt = firstFree_;
    unsigned inGroup = 0;  // codes read since the current group of eight began
    int32_t old = -1;
    uint8_t first = 0;  // first byte of the previous string
    // Output the sink still takes before the next flush check.
    uint32_t stopAt = StopAt();
    for (;;) {
      if (freeEnt > maxCode) {
        if constexpr (!Zoo) SkipRestOfGroup(width, inGroup);
        ++width;
        // At the maximum width the table fills up to its last code and the width stays.
        maxCode = width == maxWidth ? tableEnd_ : (1u << width) - 1;
        inGroup = 0;
      }
      uint32_t code = br_.Get(width);
      if (br_.Overrun()) {
        const int r = Flush();
        return r != drOk ? r : ended;
      }
      inGroup = (inGroup + 1) & 7;
      if constexpr (Zoo) {
        if (code == kEnd) break;
        if (code == kClear) {
          width = kMinWidth;
          maxCode = (1u << width) - 1;
          freeEnt = firstFree_;
          old = -1;
          continue;
        }
      }
      if (old < 0) {
        if (code >= 256) return drInvalidData;
        old = static_cast<int32_t>(code);
        first = static_cast<uint8_t>(code);
        out_[pos_++] = first;
        continue;
      }
      if (!Zoo && code == kClear && clearCode) {
        SkipRestOfGroup(width, inGroup);
        width = kMinWidth;
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
        if (code > freeEnt || freeEnt >= tableEnd_) return drInvalidData;
        len = length_[old] + 1u;
        first = Unwind(static_cast<uint32_t>(old), len - 1);
        out_[pos_ + len - 1] = first;
      }
      pos_ += len;
      if (freeEnt < tableEnd_) {
        prefix_[freeEnt] = static_cast<uint16_t>(old);
        suffix_[freeEnt] = first;
        length_[freeEnt] = static_cast<uint16_t>(length_[old] + 1);
        ++freeEnt;
      } else if (Zoo) {
        return drInvalidData;  // ZOO clears before its table is full
      }
      old = static_cast<int32_t>(code);
      if (pos_ >= stopAt) {
        const int r = Flush();
        if (r != drOk || written_ >= limit_) return r;
        stopAt = StopAt();
      }
    }
    return Flush();
  }

 private:
  uint32_t StopAt() const { return static_cast<uint32_t>(std::min<int64_t>(kFlushAt, limit_ - written_)); }

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

  void SkipRestOfGroup(unsigned width, unsigned inGroup) {
    if (inGroup == 0) return;
    for (unsigned i = inGroup; i < 8; ++i) br_.Get(width);
  }

  // Hands the collected output to the sink, never past the declared size.
  int Flush() {
    if (DecodeCancelled(job_)) return drCancelled;
    const int64_t n = std::min<int64_t>(pos_, limit_ - written_);
    if (n > 0) {
      if (!job_.sink.write || job_.sink.write(out_.get(), n) != n) return drOutputFailed;
      written_ += n;
      if (job_.progress) job_.progress(written_);
    }
    pos_ = 0;
    return drOk;
  }

  const TDecodeJob& job_;
  TBitReader& br_;
  const TLzwParams& p_;
  const uint32_t tableEnd_;
  std::unique_ptr<uint16_t[]> prefix_;
  std::unique_ptr<uint8_t[]> suffix_;
  std::unique_ptr<uint16_t[]> length_;  // string length of each code
  std::unique_ptr<uint8_t[]> out_;
  uint32_t firstFree_;
  uint32_t pos_ = 0;
  int64_t written_ = 0;
  int64_t limit_;
};

}  // namespace

TLzwParams CompressLzwParams(unsigned maxWidth, bool blockMode) {
  TLzwParams p;
  p.maxWidth = maxWidth;
  p.clearCode = blockMode;
  return p;
}

const TLzwParams kZooLzw = {13, true, true};
const TLzwParams kArcCrunch = {12, true, false};
const TLzwParams kArcSquash = {13, true, false};

int LzwDecode(const TDecodeJob& job, TBitReader& br, const TLzwParams& p) {
  if (p.maxWidth < kMinWidth || p.maxWidth > kMaxWidth) return drInvalidData;
  TLzw d(job, br, p);
  return p.zoo ? d.Run<true>() : d.Run<false>();
}

int LzwDecode(const TDecodeJob& job, const TLzwParams& p) {
  TBitReader br(job.source);
  return LzwDecode(job, br, p);
}

}  // namespace zid
