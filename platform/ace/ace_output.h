// The decoded output of one member: gathered in a buffer, passed to the
// consumer's sink in blocks, with the running ACE CRC-32 and a hard limit at
// the member's size (no decoder path can emit more than the header declares).
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/ace/ace_base.h"

namespace ace {

class TOutput {
 public:
  // sink may be empty: the bytes are then only counted and checksummed.
  TOutput(TSinkFn sink, size_t blockSize, uint64_t limit)
      : sink_(std::move(sink)), cap_(blockSize < 4096 ? 4096 : blockSize), buf_(new uint8_t[cap_]), limit_(limit) {}
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  void Put(uint8_t b) {
    if (total_ >= limit_) Fail(TResult::DataError);
    if (n_ == cap_) Flush();
    buf_[n_++] = b;
    ++total_;
  }
  void Put(const uint8_t* p, size_t n) {
    if (n > limit_ - total_) Fail(TResult::DataError);
    while (n > 0) {
      if (n_ == cap_) Flush();
      const size_t k = n < cap_ - n_ ? n : cap_ - n_;
      std::memcpy(buf_.get() + n_, p, k);
      n_ += k;
      total_ += k;
      p += k;
      n -= k;
    }
  }
  // Hands the gathered bytes to the sink.
  void Flush() {
    if (n_ == 0) return;
    crc_ = UpdateCrc(crc_, buf_.get(), n_);
    const size_t n = n_;
    n_ = 0;
    if (sink_ && !sink_(buf_.get(), n)) Fail(TResult::Cancelled);
  }
  uint64_t Total() const { return total_; }
  // The CRC of the bytes flushed so far (Flush first for all of them).
  uint32_t Crc() const { return crc_; }

 private:
  TSinkFn sink_;
  size_t cap_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t n_ = 0;
  uint64_t total_ = 0;
  uint64_t limit_;
  uint32_t crc_ = kCrcInit;
};

}  // namespace ace
