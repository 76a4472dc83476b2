// The bit writer of the LZH encoders: bits go out most significant first, the
// way the static-Huffman LZH decoders read them. Whole bytes collect in a
// 32 KiB buffer that is handed to the sink each time it fills.
//
// Contract: Put(n, v) takes 0 to 25 bits with v < 2^n. Once the sink refuses
// a write, or the bytes produced reach the limit, the writer stops handing
// bytes over and Failed() / OverLimit() say why; the caller abandons the data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zid {

// Takes count bytes; false when it could not (the encoding is abandoned).
using TLzhOutput = std::function<bool(const uint8_t* buf, int64_t count)>;

class TLzhBitWriter {
 public:
  static constexpr int64_t kBufferSize = 32768;

  // limit: the output size at which the encoding is pointless (negative: none).
  TLzhBitWriter(TLzhOutput sink, int64_t limit)
      : sink_(std::move(sink)), limit_(limit), buf_(std::make_unique<uint8_t[]>(kBufferSize + 8)) {}

  void Put(unsigned n, uint32_t v) {
    acc_ = (acc_ << n) | v;
    bits_ += n;
    if (bits_ >= 32) {
      bits_ -= 32;
      const uint32_t w = static_cast<uint32_t>(acc_ >> bits_);
      uint8_t* p = buf_.get() + pos_;
      p[0] = static_cast<uint8_t>(w >> 24);
      p[1] = static_cast<uint8_t>(w >> 16);
      p[2] = static_cast<uint8_t>(w >> 8);
      p[3] = static_cast<uint8_t>(w);
      pos_ += 4;
      if (pos_ >= kBufferSize) FlushBuffer();
    }
  }

  // Pads the last byte with zero bits and hands everything over.
  bool Finish() {
    while (bits_ >= 8) {
      bits_ -= 8;
      buf_[static_cast<size_t>(pos_++)] = static_cast<uint8_t>(acc_ >> bits_);
    }
    if (bits_ > 0) {
      buf_[static_cast<size_t>(pos_++)] = static_cast<uint8_t>(acc_ << (8 - bits_));
      bits_ = 0;
    }
    FlushBuffer();
    return !failed_ && !over_;
  }

  // Bytes produced so far, handed over or still buffered (a partial byte counts).
  int64_t Produced() const { return total_ + pos_ + (bits_ + 7) / 8; }
  bool Failed() const { return failed_; }
  // The output reached the limit: compressing does not pay.
  bool OverLimit() const { return over_ || (limit_ >= 0 && Produced() >= limit_); }

 private:
  void FlushBuffer() {
    if (pos_ > 0 && !failed_ && !over_) {
      if (limit_ >= 0 && total_ + pos_ >= limit_)
        over_ = true;
      else if (!sink_(buf_.get(), pos_))
        failed_ = true;
    }
    total_ += pos_;
    pos_ = 0;
  }

  TLzhOutput sink_;
  int64_t limit_;
  std::unique_ptr<uint8_t[]> buf_;
  int64_t pos_ = 0;
  int64_t total_ = 0;
  uint64_t acc_ = 0;
  unsigned bits_ = 0;
  bool failed_ = false;
  bool over_ = false;
};

}  // namespace zid
