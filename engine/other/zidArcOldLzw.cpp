#include "engine/other/zidArcOldLzw.h"

#include <cstdint>
#include <vector>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr unsigned kTableSize = 4096;
constexpr uint16_t kNoPrefix = 0xFFFF;
constexpr unsigned kWidth = 12;
constexpr unsigned kCollisionStep = 101;

class TArcOldLzw {
 public:
  TArcOldLzw(const TDecodeJob& job, bool newHash)
      : job_(job), newHash_(newHash), br_(job.source), out_(job, 32768), table_(kTableSize),
        stack_(kTableSize + 1) {
    for (unsigned c = 0; c < 256; ++c) Add(kNoPrefix, static_cast<uint8_t>(c));
    room_ = kTableSize - 256;
  }

  int Run() {
    if (out_.Full()) return out_.Finish();
    const int ended = job_.expectedSize < 0 ? drOk : drInputExhausted;
    unsigned old = br_.Get(kWidth);
    if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
    if (!table_[old].used || table_[old].prefix != kNoPrefix) return drInvalidData;
    uint8_t first = table_[old].byte;
    if (!out_.Put(first) && out_.Status() != drOk) return out_.Status();
    while (!out_.Full()) {
      if (DecodeCancelled(job_)) return drCancelled;
      const unsigned code = br_.Get(kWidth);
      if (br_.Overrun()) return ended == drOk ? out_.Finish() : ended;
      // A code that was not the string being defined leaves the previous one
      // undefined: a string on it could chain back to itself.
      if (!table_[old].used) return drInvalidData;
      unsigned n = 0;
      unsigned walk = code;
      if (!table_[code].used) {
        // the string being defined right now: the previous one and its first byte
        stack_[n++] = first;
        walk = old;
      }
      // Every string's prefix was in the table before it, so no chain is longer than the table.
      while (table_[walk].prefix != kNoPrefix) {
        stack_[n++] = table_[walk].byte;
        walk = table_[walk].prefix;
      }
      first = table_[walk].byte;
      stack_[n++] = first;
      while (n > 0)
        if (!out_.Put(stack_[--n])) {
          if (out_.Status() != drOk) return out_.Status();
          break;
        }
      if (room_ > 0) {
        Add(static_cast<uint16_t>(old), first);
        --room_;
      }
      old = code;
    }
    return out_.Finish();
  }

 private:
  struct TSlot {
    bool used = false;
    uint16_t next = 0;  // the next slot of a collision chain; 0 ends it
    uint16_t prefix = kNoPrefix;
    uint8_t byte = 0;
  };

  unsigned Hash(uint16_t prefix, uint8_t byte) const {
    const uint32_t sum = (static_cast<uint32_t>(prefix) + byte) & 0xFFFF;
    if (newHash_) return (sum * 15073u) & 0xFFF;
    const uint32_t x = (sum | 0x0800) & 0xFFFF;
    return ((x * x) >> 6) & 0xFFF;
  }

  void Add(uint16_t prefix, uint8_t byte) {
    unsigned slot = Hash(prefix, byte);
    if (table_[slot].used) {
      while (table_[slot].next != 0) slot = table_[slot].next;
      unsigned free = (slot + kCollisionStep) & 0xFFF;
      while (table_[free].used) free = (free + 1) & 0xFFF;
      table_[slot].next = static_cast<uint16_t>(free);
      slot = free;
    }
    table_[slot] = TSlot{true, 0, prefix, byte};
  }

  const TDecodeJob& job_;
  bool newHash_;
  TBitReaderT<true> br_;
  TOutWindow out_;
  std::vector<TSlot> table_;
  std::vector<uint8_t> stack_;
  unsigned room_ = 0;
};

}  // namespace

int ArcOldLzwDecode(const TDecodeJob& job, bool newHash) {
  TArcOldLzw d(job, newHash);
  return d.Run();
}

}  // namespace zid
