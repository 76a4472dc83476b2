// The bit reader every window decoder shares, in both bit orders: LSB-first
// (Deflate, Deflate64, explode, unshrink, unreduce) and MSB-first (the LZH
// family). It pulls compressed bytes from a TDecodeSource in blocks of at most
// 32 KiB, never asking beyond the source's budget. When the input ends it goes
// on feeding zero bits so a decoder can finish looking up the symbol in hand,
// and remembers that it did: Overrun() turns true as soon as a consumed bit
// was one of those zeros, which is how truncation is told apart from data
// that happens to decode.
//
// LSB-first keeps the pending bits in the low end of a 64-bit buffer, the next
// bit at bit 0; MSB-first keeps them at the high end, the next bit at bit 63.
// Peek(n) returns the next n bits as a number: for MSB-first the first bit is
// the number's most significant bit, for LSB-first its least significant.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/base/zidDecoder.h"

namespace zid {

template <bool MsbFirst>
class TBitReaderT {
 public:
  static constexpr uint32_t kBlockSize = 32768;
  static constexpr bool kMsbFirst = MsbFirst;

  explicit TBitReaderT(const TDecodeSource& src)
      : src_(src), in_(new uint8_t[kBlockSize]), budget_(src.budget) {}
  TBitReaderT(const TBitReaderT&) = delete;
  TBitReaderT& operator=(const TBitReaderT&) = delete;

  // Makes at least n (<= 56) bits available.
  void Need(unsigned n) {
    if (count_ >= n) return;
    if (end_ - pos_ >= 8) {
      // Eight bytes at once; the whole bytes that fit are counted. The bits
      // past count_ then hold the start of the next byte, which the next
      // load puts in the same place again, so they never need clearing.
      uint64_t v;
      std::memcpy(&v, in_.get() + pos_, 8);
      if constexpr (MsbFirst) {
        bits_ |= FromBigEndian(v) >> count_;
      } else {
        bits_ |= FromLittleEndian(v) << count_;
      }
      const unsigned take = (63 - count_) >> 3;
      pos_ += take;
      count_ += take * 8;
      return;
    }
    while (count_ < n) {
      if (pos_ == end_ && !Refill()) {
        // past the end: zero bits, counted so that consuming them is noticed
        pad_ += 8;
      } else if constexpr (MsbFirst) {
        bits_ |= static_cast<uint64_t>(in_[pos_++]) << (56 - count_);
      } else {
        bits_ |= static_cast<uint64_t>(in_[pos_++]) << count_;
      }
      count_ += 8;
    }
  }
  // Makes n (<= 56) bits available; returns how many of them came from the
  // input rather than from the zero padding past its end.
  unsigned InputBits(unsigned n) {
    Need(n);
    const unsigned real = count_ - pad_;
    return real < n ? real : n;
  }
  // The next n bits without consuming them (Need(n) first); n is 1..56 MSB-first, 0..56 LSB-first.
  uint32_t Peek(unsigned n) const {
    if constexpr (MsbFirst) {
      return static_cast<uint32_t>(bits_ >> (64 - n));
    } else {
      return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    }
  }
  void Drop(unsigned n) {
    if constexpr (MsbFirst) {
      bits_ <<= n;  // n < 64: the buffer never holds more than 63 bits
    } else {
      bits_ >>= n;
    }
    count_ -= n;
    if (pad_ > count_) {
      overrun_ = true;
      pad_ = count_;
    }
  }
  uint32_t Get(unsigned n) {
    if constexpr (MsbFirst) {
      if (n == 0) return 0;  // a shift by 64 in Peek
    }
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
      dst[done++] = static_cast<uint8_t>(Peek(8));
      Drop(8);
    }
    if (done < n && count_ > 0) {
      // only padding left in the bit buffer
      Drop(count_);
      overrun_ = true;
      return done;
    }
    if (count_ == 0) bits_ = 0;  // bits read ahead: the bytes themselves are copied below
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
  static uint64_t FromBigEndian(uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(v);
    return v;
  }
  static uint64_t FromLittleEndian(uint64_t v) {
    if constexpr (std::endian::native == std::endian::big) return __builtin_bswap64(v);
    return v;
  }

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

// Deflate order: the first bit of the stream is the least significant bit of its byte.
using TBitReader = TBitReaderT<false>;
// LZH order: the first bit of the stream is the most significant bit of its byte.
using TMsbBitReader = TBitReaderT<true>;

}  // namespace zid
