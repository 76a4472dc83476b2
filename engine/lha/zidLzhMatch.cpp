#include "engine/lha/zidLzhMatch.h"

#include <algorithm>
#include <cstring>

namespace zid {

namespace {

constexpr unsigned kHashBits = 16;
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
      son_(std::make_unique<uint32_t[]>(size_t{2} * dicSize_)),
      head3_(std::make_unique<uint32_t[]>(size_t{1} << kHashBits)),
      prev3_(std::make_unique<uint32_t[]>(dicSize_)),
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
  for (uint32_t i = 0; i < 2 * dicSize_; ++i) renumber(son_[i]);
  for (uint32_t i = 0; i < dicSize_; ++i) renumber(prev3_[i]);
  // The slots follow the positions modulo the dictionary size, which sub may
  // not be a multiple of: move every slot by the same amount.
  const uint32_t shift = sub & mask_;
  if (shift != 0) {
    std::rotate(son_.get(), son_.get() + size_t{2} * shift, son_.get() + size_t{2} * dicSize_);
    std::rotate(prev3_.get(), prev3_.get() + shift, prev3_.get() + dicSize_);
  }
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

uint32_t TLzhMatchFinder::Next(uint32_t& distance) {
  const uint32_t limit = std::min(kMaxMatch, end_ - cur_);
  const uint32_t pos = cur_++;
  distance = 0;
  if (limit < kMinMatch) return 0;
  const uint8_t* cur = buf_.get() + (pos - base_);
  // Every position joins the chain of its first three bytes.
  uint32_t* head3 = &head3_[Hash3(cur)];
  uint32_t near3 = *head3;
  *head3 = pos;
  prev3_[pos & mask_] = near3;
  uint32_t best = kMinMatch;
  if (limit > kMinMatch) best = Insert(pos, cur, limit, distance);
  if (best > kMinMatch) return best;
  // No match of four bytes or more: the nearest string with the same first three, if any.
  for (uint32_t walk = kMaxWalk; pos - near3 < dicSize_ && walk != 0; --walk) {
    const uint8_t* pb = cur - (pos - near3);
    if (pb[0] == cur[0] && pb[1] == cur[1] && pb[2] == cur[2]) {
      distance = pos - near3;
      return kMinMatch;
    }
    near3 = prev3_[near3 & mask_];
  }
  return 0;
}

uint32_t TLzhMatchFinder::Insert(uint32_t pos, const uint8_t* cur, uint32_t limit, uint32_t& distance) {
  uint32_t* head = &head_[Hash4(cur)];
  uint32_t match = *head;
  *head = pos;
  // Where the next string smaller than the new one goes (the new node's left
  // subtree) and the next greater one (right), with the prefix each side is
  // known to share with the new string.
  uint32_t* left = &son_[size_t{2} * (pos & mask_)];
  uint32_t* right = left + 1;
  uint32_t leftLen = 0, rightLen = 0, best = kMinMatch;
  for (uint32_t walk = kMaxWalk;; --walk) {
    const uint32_t delta = pos - match;
    // Positions start past one dictionary, so an empty link (0) is always out of reach.
    if (delta >= dicSize_ || walk == 0) {
      *left = *right = 0;
      break;
    }
    uint32_t* pair = &son_[size_t{2} * (match & mask_)];
    const uint8_t* pb = cur - delta;
    uint32_t len = std::min(leftLen, rightLen);
    if (pb[len] == cur[len]) {
      len = MatchLength(pb, cur, len + 1, limit);
      if (len > best) {
        best = len;
        distance = delta;
        if (len == limit) {
          // The new string stands for the old one from now on.
          *left = pair[0];
          *right = pair[1];
          break;
        }
      }
    }
    if (pb[len] < cur[len]) {
      *left = match;
      left = pair + 1;
      match = *left;
      leftLen = len;
    } else {
      *right = match;
      right = pair;
      match = *right;
      rightLen = len;
    }
  }
  return best;
}

}  // namespace zid
