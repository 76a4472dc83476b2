#include "engine/zip/zidUnshrink.h"

#include <vector>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr unsigned kTableSize = 8192;  // codes of up to 13 bits
constexpr unsigned kControl = 256;     // followed by 1 (wider codes) or 2 (partial clear)
constexpr unsigned kFirstFree = 257;
constexpr unsigned kMaxWidth = 13;
constexpr unsigned kStackSize = 8192;

class TUnshrinker {
 public:
  explicit TUnshrinker(const TDecodeJob& job)
      : job_(job), br_(job.source), out_(job, 32768), parent_(kTableSize), value_(kTableSize),
        used_(kTableSize, false), stack_(kStackSize) {
    for (unsigned c = 0; c < 256; ++c) {
      value_[c] = static_cast<uint8_t>(c);
      used_[c] = true;
    }
  }

  int Run() {
    if (out_.Full()) return out_.Finish();
    // the input ending is the end of the entry only when its size is unknown
    const int ended = job_.expectedSize < 0 ? drOk : drInputExhausted;
    unsigned width = 9;
    unsigned code = br_.Get(width);
    if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
    if (code >= 256) return drInvalidData;
    unsigned last = code;
    uint8_t lastFirst = static_cast<uint8_t>(code);
    out_.Put(lastFirst);
    if (out_.Status() != drOk) return out_.Status();

    while (!out_.Full()) {
      if (DecodeCancelled(job_)) return drCancelled;
      code = br_.Get(width);
      if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
      if (code == kControl) {
        unsigned sub = br_.Get(width);
        if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
        if (sub == 1 && width < kMaxWidth) {
          ++width;
        } else if (sub == 2) {
          PartialClear();
        } else {
          return drInvalidData;
        }
        continue;
      }
      bool added = false;
      if (!used_[code]) {
        // the code being defined by this very step: last string + its first byte
        if (code != freeEnt_) return drInvalidData;
        Add(last, lastFirst);
        added = true;
      }
      int n = Expand(code);
      if (n < 0) return drStackOverflow;
      const uint8_t* s = stack_.data() + (kStackSize - n);
      if (!added) Add(last, s[0]);
      if (!out_.PutBytes(s, static_cast<uint32_t>(n)) && out_.Status() != drOk) return out_.Status();
      last = code;
      lastFirst = s[0];
    }
    return out_.Finish();
  }

 private:
  // Adds the entry "string of prefix + byte" at the lowest free code, if any.
  void Add(unsigned prefix, uint8_t byte) {
    if (freeEnt_ >= kTableSize) return;
    parent_[freeEnt_] = static_cast<uint16_t>(prefix);
    value_[freeEnt_] = byte;
    used_[freeEnt_] = true;
    while (freeEnt_ < kTableSize && used_[freeEnt_]) ++freeEnt_;
  }

  // Writes the string of `code` at the end of the stack; returns its length,
  // or -1 when it does not fit (a chain that loops through reused codes).
  int Expand(unsigned code) {
    unsigned n = 0;
    while (code >= kFirstFree) {
      if (n >= kStackSize - 1) return -1;
      stack_[kStackSize - 1 - n++] = value_[code];
      code = parent_[code];
    }
    stack_[kStackSize - 1 - n++] = static_cast<uint8_t>(code);
    return static_cast<int>(n);
  }

  // Frees every code from 257 on that is no other code's prefix.
  void PartialClear() {
    std::vector<bool> hasChild(kTableSize, false);
    for (unsigned c = kFirstFree; c < kTableSize; ++c)
      if (used_[c] && parent_[c] >= kFirstFree) hasChild[parent_[c]] = true;
    for (unsigned c = kFirstFree; c < kTableSize; ++c)
      if (!hasChild[c]) used_[c] = false;
    freeEnt_ = kFirstFree;
    while (freeEnt_ < kTableSize && used_[freeEnt_]) ++freeEnt_;
  }

  const TDecodeJob& job_;
  TBitReader br_;
  TOutWindow out_;
  std::vector<uint16_t> parent_;
  std::vector<uint8_t> value_;
  std::vector<bool> used_;
  std::vector<uint8_t> stack_;
  unsigned freeEnt_ = kFirstFree;
};

}  // namespace

int Unshrink(const TDecodeJob& job) {
  TUnshrinker u(job);
  return u.Run();
}

}  // namespace zid
