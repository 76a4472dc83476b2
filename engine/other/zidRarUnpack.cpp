#include "engine/other/zidRarUnpack.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/other/zidRar15.h"
#include "engine/other/zidRar20.h"

namespace zid {

// Not zeroed: no byte is read before it is written (Copy checks filled_).
TRarWindow::TRarWindow() : ring_(new uint8_t[kSize]) {}

void TRarWindow::Clear() {
  pos_ = 0;
  filled_ = 0;
  pending_ = 0;
}

void TRarWindow::Begin(const TDecodeJob& job) {
  job_ = &job;
  pending_ = 0;
  produced_ = 0;
  written_ = 0;
  want_ = job.expectedSize < 0 ? std::numeric_limits<int64_t>::max() : job.expectedSize;
  status_ = drOk;
}

bool TRarWindow::Copy(uint32_t dist, uint32_t len) {
  if (len == 0) return true;
  if (dist == 0 || dist > filled_) return false;
  while (len > 0) {
    // a run that wraps neither end of the ring nor passes a flush
    const uint32_t src = (pos_ - dist) & kMask;
    const uint32_t n = std::min({len, kChunk - pending_, kSize - pos_, kSize - src});
    uint8_t* ring = ring_.get();
    if (dist >= n) {
      std::memcpy(ring + pos_, ring + src, n);
    } else {
      for (uint32_t i = 0; i < n; ++i) ring[pos_ + i] = ring[src + i];  // repeats the last dist bytes
    }
    pos_ = (pos_ + n) & kMask;
    produced_ += n;
    filled_ = std::min<uint32_t>(kSize, filled_ + n);
    len -= n;
    pending_ += n;
    if (pending_ == kChunk) Flush();
  }
  return true;
}

void TRarWindow::Flush() {
  const uint32_t n = pending_;
  pending_ = 0;
  if (status_ != drOk || job_ == nullptr) return;
  // the pending bytes end at pos_; the entry takes at most want_ - written_ of them
  int64_t take = std::min<int64_t>(n, want_ - written_);
  uint32_t from = (pos_ - n) & kMask;
  while (take > 0) {
    const uint32_t piece = static_cast<uint32_t>(std::min<int64_t>(take, kSize - from));
    if (!job_->sink.write || job_->sink.write(ring_.get() + from, piece) != piece) {
      status_ = drOutputFailed;
      return;
    }
    written_ += piece;
    take -= piece;
    from = (from + piece) & kMask;
  }
  if (job_->progress) job_->progress(written_);
  if (DecodeCancelled(*job_)) status_ = drCancelled;
}

int TRarWindow::Finish() {
  if (pending_ > 0) Flush();
  return status_;
}

TRarUnpacker::TRarUnpacker()
    : v15_(std::make_unique<TRar15Decoder>(window_)), v20_(std::make_unique<TRar20Decoder>(window_)) {}
TRarUnpacker::~TRarUnpacker() = default;

int TRarUnpacker::Decode(const TDecodeJob& job, int version, bool solid) {
  problem_.clear();
  if (!Supports(version)) {
    problem_ = "version " + std::to_string(version / 10) + "." + std::to_string(version % 10);
    return drInvalidData;
  }
  if (solid && !streamOk_) {
    problem_ = "the solid stream broke in an entry before this one";
    return drInvalidData;
  }
  if (!solid) {
    window_.Clear();
    v15_->Reset();
    v20_->Reset();
  }
  streamOk_ = false;
  window_.Begin(job);
  const int r = version == 15 ? v15_->Decode(job, problem_) : v20_->Decode(job, problem_);
  streamOk_ = r == drOk;
  return r;
}

}  // namespace zid
