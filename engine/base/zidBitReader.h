// The LSB-first bit reader every window decoder shares. It pulls compressed
// bytes from a TDecodeSource in blocks of at most 32 KiB, never asking beyond
// the source's budget. When the input ends it goes on feeding zero bits so a
// decoder can finish looking up the symbol in hand, and remembers that it did:
// Overrun() turns true as soon as a consumed bit was one of those zeros, which
// is how truncation is told apart from data that happens to decode.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/base/zidDecoder.h"

namespace zid {

class TBitReader {
 public:
  static constexpr uint32_t kBlockSize = 32768;

  explicit TBitReader(const TDecodeSource& src)
      : src_(src), in_(new uint8_t[kBlockSize]), budget_(src.budget) {}
  TBitReader(const TBitReader&) = delete;
  TBitReader& operator=(const TBitReader&) = delete;

  // Makes at least n (<= 56) bits available.
  void Need(unsigned n) {
    while (count_ < n) {
      if (pos_ == end_ && !Refill()) {
        // past the end: zero bits, counted so that consuming them is noticed
        pad_ += 8;
      } else {
        bits_ |= static_cast<uint64_t>(in_[pos_++]) << count_;
      }
      count_ += 8;
    }
  }
  // The next n bits without consuming them (Need(n) first).
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
  void Drop(unsigned n) {
    bits_ >>= n;
    count_ -= n;
    if (pad_ > count_) {
      overrun_ = true;
      pad_ = count_;
    }
  }
  uint32_t Get(unsigned n) {
    Need(n);
    uint32_t v = Peek(n);
    Drop(n);
    return v;
  }
  // Drops the bits up to the next byte boundary.
  void AlignToByte() { Drop(count_ & 7); }

  // After AlignToByte: copies up to n whole bytes; returns how many there were
  // (fewer means the input ended and Overrun() is set).
  uint32_t ReadBytes(uint8_t* dst, uint32_t n) {
    uint32_t done = 0;
    while (done < n && count_ >= 8 && count_ > pad_) {
      dst[done++] = static_cast<uint8_t>(bits_);
      Drop(8);
    }
    if (done < n && count_ > 0) {
      // only padding left in the bit buffer
      Drop(count_);
      overrun_ = true;
      return done;
    }
    while (done < n) {
      if (pos_ == end_ && !Refill()) {
        overrun_ = true;
        break;
      }
      uint32_t k = end_ - pos_;
      if (k > n - done) k = n - done;
      std::memcpy(dst + done, in_.get() + pos_, k);
      pos_ += k;
      done += k;
    }
    return done;
  }

  bool Overrun() const { return overrun_; }
  // Compressed bytes taken from the source so far.
  int64_t BytesRead() const { return taken_; }

 private:
  bool Refill() {
    if (ended_) return false;
    int64_t want = kBlockSize;
    if (budget_ >= 0 && budget_ - taken_ < want) want = budget_ - taken_;
    int64_t got = (want > 0 && src_.read) ? src_.read(in_.get(), want) : 0;
    if (got <= 0) {
      ended_ = true;
      return false;
    }
    if (got > want) got = want;
    taken_ += got;
    pos_ = 0;
    end_ = static_cast<uint32_t>(got);
    return true;
  }

  const TDecodeSource& src_;
  std::unique_ptr<uint8_t[]> in_;
  uint32_t pos_ = 0;
  uint32_t end_ = 0;
  int64_t budget_;
  int64_t taken_ = 0;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
  unsigned pad_ = 0;
  bool ended_ = false;
  bool overrun_ = false;
};

}  // namespace zid
