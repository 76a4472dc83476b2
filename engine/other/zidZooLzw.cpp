#include "engine/other/zidZooLzw.h"

#include <vector>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr unsigned kTableSize = 8192;  // codes of up to 13 bits
constexpr unsigned kClear = 256;
constexpr unsigned kEnd = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kMinWidth = 9;
constexpr unsigned kMaxWidth = 13;
// A string is at most one byte longer than the longest before it, so no chain
// in a table of 8192 entries is longer than that.
constexpr unsigned kStackSize = kTableSize;

class TZooLzw {
 public:
  explicit TZooLzw(const TDecodeJob& job)
      : job_(job), br_(job.source), out_(job, 32768), prefix_(kTableSize), suffix_(kTableSize), stack_(kStackSize) {}

  int Run() {
    // the input ending is the end of the entry only when its size is unknown
    const int ended = job_.expectedSize < 0 ? drOk : drInputExhausted;
    Reset();
    bool havePrev = false;
    unsigned prev = 0;
    uint8_t first = 0;
    while (!out_.Full()) {
      if (DecodeCancelled(job_)) return drCancelled;
      const unsigned code = br_.Get(width_);
      if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
      if (code == kEnd) break;
      if (code == kClear) {
        Reset();
        havePrev = false;
        continue;
      }
      if (!havePrev) {
        // the first code of a table is a plain byte
        if (code > 255) return drInvalidData;
        prev = code;
        first = static_cast<uint8_t>(code);
        havePrev = true;
        if (!out_.Put(first) && out_.Status() != drOk) return out_.Status();
        continue;
      }
      unsigned n = 0;
      unsigned walk = code;
      if (code >= free_) {
        // the string being defined right now: the previous one and its first byte
        if (code != free_) return drInvalidData;
        stack_[kStackSize - 1 - n++] = first;
        walk = prev;
      }
      while (walk > 255) {
        stack_[kStackSize - 1 - n++] = suffix_[walk];
        walk = prefix_[walk];
      }
      first = static_cast<uint8_t>(walk);
      stack_[kStackSize - 1 - n++] = first;
      if (!out_.PutBytes(stack_.data() + (kStackSize - n), n) && out_.Status() != drOk) return out_.Status();
      if (free_ >= kTableSize) return drInvalidData;  // no clear when the table filled up
      prefix_[free_] = static_cast<uint16_t>(prev);
      suffix_[free_] = first;
      ++free_;
      if (free_ >= limit_ && width_ < kMaxWidth) {
        ++width_;
        limit_ <<= 1;
      }
      prev = code;
    }
    return out_.Finish();
  }

 private:
  void Reset() {
    width_ = kMinWidth;
    limit_ = 1u << kMinWidth;
    free_ = kFirstFree;
  }

  const TDecodeJob& job_;
  TBitReader br_;
  TOutWindow out_;
  std::vector<uint16_t> prefix_;
  std::vector<uint8_t> suffix_;
  std::vector<uint8_t> stack_;
  unsigned width_ = kMinWidth;
  unsigned limit_ = 1u << kMinWidth;
  unsigned free_ = kFirstFree;
};

}  // namespace

int ZooLzwDecode(const TDecodeJob& job) {
  TZooLzw d(job);
  return d.Run();
}

}  // namespace zid
