// The small dictionary of the older LZSS-style methods (-lh1-, LArc's -lz5-
// and -lzs-): a ring of a power-of-two size with format-defined initial
// contents, whose output is gathered in 32 KiB chunks for the sink. Matches
// name a ring position, so every copy is in bounds whatever the input says.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/zidDecoder.h"

namespace zid {

class TLzRing {
 public:
  static constexpr uint32_t kOutSize = 32768;

  // size: a power of two; start: the position the first byte goes to.
  TLzRing(const TDecodeJob& job, uint32_t size, uint32_t start)
      : job_(job), dict_(new uint8_t[size]()), mask_(size - 1), pos_(start & (size - 1)), out_(new uint8_t[kOutSize]) {}
  TLzRing(const TLzRing&) = delete;
  TLzRing& operator=(const TLzRing&) = delete;

  // The ring, for the initial contents.
  uint8_t* Dict() { return dict_.get(); }
  uint32_t Pos() const { return pos_; }
  uint32_t Mask() const { return mask_; }
  // Bytes the job still wants.
  int64_t Left() const { return left_; }

  // False when the sink failed or cancel was asked (see Status).
  bool Put(uint8_t b) {
    dict_[pos_] = b;
    pos_ = (pos_ + 1) & mask_;
    out_[outPos_++] = b;
    --left_;
    return outPos_ < kOutSize || Flush();
  }
  // Copies len bytes starting at ring position src, stopping at the job's size.
  bool Copy(uint32_t src, uint32_t len) {
    if (len > left_) len = static_cast<uint32_t>(left_);
    while (len-- > 0) {
      if (!Put(dict_[src & mask_])) return false;
      ++src;
    }
    return true;
  }
  // Writes out what is gathered; returns drOk or the failure.
  int Finish() {
    if (status_ == drOk && outPos_ > 0) Flush();
    return status_;
  }
  int Status() const { return status_; }

 private:
  bool Flush() {
    int64_t n = job_.sink.write ? job_.sink.write(out_.get(), outPos_) : 0;
    if (n != static_cast<int64_t>(outPos_)) {
      status_ = drOutputFailed;
      return false;
    }
    written_ += outPos_;
    outPos_ = 0;
    if (job_.progress) job_.progress(written_);
    if (DecodeCancelled(job_)) {
      status_ = drCancelled;
      return false;
    }
    return true;
  }

  const TDecodeJob& job_;
  std::unique_ptr<uint8_t[]> dict_;
  uint32_t mask_;
  uint32_t pos_;
  std::unique_ptr<uint8_t[]> out_;
  uint32_t outPos_ = 0;
  int64_t left_ = job_.expectedSize;
  int64_t written_ = 0;
  int status_ = drOk;
};

}  // namespace zid
