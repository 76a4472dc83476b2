#include "engine/lha/zidLzhMatch.h"

#include <algorithm>
#include <cstring>

namespace zid {

namespace {

constexpr unsigned kHashBits = 15;
// Input is read in chunks of this size (or the dictionary size, when larger).
constexpr uint32_t kChunk = 65536;
// The word-wise comparison may look this far past the bytes read.
constexpr uint32_t kPad = 16;

inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t Hash3(const uint8_t* p) { return ((Load32(p) & 0xFFFFFFu) * 0x9E3779B1u) >> (32 - kHashBits); }
inline uint32_t Hash4(const uint8_t* p) { return (Load32(p) * 0x85EBCA6Bu) >> (32 - kHashBits); }

// Length of the common prefix of a and b, from `len` on, at most `limit`.
inline uint32_t MatchLength(const uint8_t* a, const uint8_t* b, uint32_t len, uint32_t limit) {
  while (len < limit) {
    const uint64_t x = Load64(a + len) ^ Load64(b + len);
    if (x != 0) {
      len += static_cast<uint32_t>(__builtin_ctzll(x)) >> 3;  // little-endian: the first differing byte
      return std::min(len, limit);
    }
    len += 8;
  }
  return limit;
}

}  // namespace

TLzhMatchFinder::TLzhMatchFinder(unsigned dicBit, TRead read, uint32_t start)
    : read_(std::move(read)),
      dicSize_(uint32_t{1} << dicBit),
      mask_(dicSize_ - 1),
      bufSize_(dicSize_ + std::max(kChunk, dicSize_) + 2 * kMaxMatch),
      buf_(std::make_unique<uint8_t[]>(bufSize_ + kPad)),
      head_(std::make_unique<uint32_t[]>(size_t{1} << kHashBits)),
      prev_(std::make_unique<uint32_t[]>(dicSize_)),
      head3_(std::make_unique<uint32_t[]>(size_t{1} << kHashBits)),
      base_(std::max(start, dicSize_ + 1)),
      cur_(base_),
      end_(base_) {}

void TLzhMatchFinder::Slide() {
  // Keep one dictionary behind the cursor.
  if (cur_ - base_ <= dicSize_) return;
  const uint32_t drop = cur_ - dicSize_ - base_;
  std::memmove(buf_.get(), buf_.get() + drop, end_ - base_ - drop);
  base_ += drop;
  if (cur_ < kRenumberAt) return;
  // Renumber: what lies before the buffer is out of reach and becomes empty.
  const uint32_t sub = base_ - dicSize_ - 1;
  auto renumber = [sub](uint32_t& p) { p = p > sub ? p - sub : 0; };
  for (uint32_t i = 0; i < (uint32_t{1} << kHashBits); ++i) {
    renumber(head_[i]);
    renumber(head3_[i]);
  }
  for (uint32_t i = 0; i < dicSize_; ++i) renumber(prev_[i]);
  // The slots follow the positions modulo the dictionary size, which sub may
  // not be a multiple of: move every slot by the same amount.
  const uint32_t shift = sub & mask_;
  if (shift != 0) std::rotate(prev_.get(), prev_.get() + shift, prev_.get() + dicSize_);
  base_ -= sub;
  cur_ -= sub;
  end_ -= sub;
}

bool TLzhMatchFinder::Fill() {
  if (!eof_ && end_ - cur_ < 2 * kMaxMatch + 1) {
    Slide();
    while (!eof_ && end_ - base_ < bufSize_) {
      const int64_t got = read_(buf_.get() + (end_ - base_), bufSize_ - (end_ - base_));
      if (got <= 0) {
        eof_ = true;
        break;
      }
      end_ += static_cast<uint32_t>(got);
      bytesRead_ += got;
    }
  }
  return end_ > cur_;
}

uint32_t TLzhMatchFinder::Link(uint32_t pos, const uint8_t* cur, uint32_t& near3) {
  // The next position's heads are wanted next, and the tables are too large
  // for the nearest cache: ask for them now. (The look at cur + 1 stays
  // within the padding after the bytes read.)
  __builtin_prefetch(&head_[Hash4(cur + 1)], 1);
  __builtin_prefetch(&head3_[Hash3(cur + 1)], 1);
  uint32_t* head = &head_[Hash4(cur)];
  const uint32_t older = *head;
  *head = pos;
  prev_[pos & mask_] = older;
  uint32_t* head3 = &head3_[Hash3(cur)];
  near3 = *head3;
  *head3 = pos;
  return older;
}

void TLzhMatchFinder::Skip() {
  const uint32_t pos = cur_++;
  uint32_t near3;
  // The last three bytes of the input start no match worth a chain.
  if (end_ - pos >= 4) Link(pos, buf_.get() + (pos - base_), near3);
}

uint32_t TLzhMatchFinder::Next(uint32_t& distance, uint32_t beat, uint32_t chain, uint32_t nice) {
  const uint32_t limit = std::min(kMaxMatch, end_ - cur_);
  const uint32_t pos = cur_++;
  distance = 0;
  if (limit < 4) return 0;
  const uint8_t* cur = buf_.get() + (pos - base_);
  uint32_t near3;
  uint32_t match = Link(pos, cur, near3);
  uint32_t best = std::max(beat, kMinMatch);
  if (best >= limit) return 0;
  nice = std::min(nice, limit);
  const uint32_t head4 = Load32(cur);
  // Positions start past one dictionary, so an empty link (0) is always out of reach.
  for (; pos - match < dicSize_ && chain != 0; --chain) {
    const uint8_t* pb = cur - (pos - match);
    // A longer match agrees on the four bytes that end at best (best >= 3).
    if (Load32(pb + best - 3) == Load32(cur + best - 3) && Load32(pb) == head4) {
      const uint32_t len = MatchLength(pb, cur, 4, limit);
      if (len > best) {
        best = len;
        distance = pos - match;
        if (len >= nice) break;
      }
    }
    match = prev_[match & mask_];
  }
  if (distance != 0) return best;
  // No match of four bytes: the nearest string with the same first three, if any.
  if (beat < kMinMatch && pos - near3 < dicSize_) {
    const uint8_t* pb = cur - (pos - near3);
    if (pb[0] == cur[0] && pb[1] == cur[1] && pb[2] == cur[2]) {
      distance = pos - near3;
      return kMinMatch;
    }
  }
  return 0;
}

}  // namespace zid
