#include "engine/base/zidDecoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zid {

TDecodeSource TransformedSource(TDecodeSource source, std::function<void(uint8_t* buf, int64_t count)> transform) {
  source.read = [read = std::move(source.read), f = std::move(transform)](uint8_t* buf, int64_t count) -> int64_t {
    const int64_t got = read ? read(buf, count) : 0;
    if (got > 0) f(buf, got);
    return got;
  };
  return source;
}

TOutWindow::TOutWindow(const TDecodeJob& job, uint32_t size, uint8_t fill)
    : job_(job),
      buf_(new uint8_t[size]),
      size_(size),
      limit_(job.expectedSize < 0 ? std::numeric_limits<int64_t>::max() : job.expectedSize) {
  std::memset(buf_.get(), fill, size);
}

bool TOutWindow::FlushWindow() {
  if (pos_ == 0) return status_ == drOk;
  if (status_ == drOk) {
    int64_t n = job_.sink.write ? job_.sink.write(buf_.get(), pos_) : 0;
    if (n != static_cast<int64_t>(pos_)) status_ = drOutputFailed;
    else written_ += pos_;
  }
  if (pos_ == size_) pos_ = 0;
  if (status_ == drOk && job_.progress) job_.progress(written_);
  return status_ == drOk;
}

bool TOutWindow::Copy(uint32_t dist, uint32_t len) {
  if (status_ != drOk) return false;
  bool fits = true;
  if (static_cast<int64_t>(len) > Room()) {
    len = static_cast<uint32_t>(Room());
    fits = false;
  }
  uint32_t src = pos_ >= dist ? pos_ - dist : pos_ + size_ - dist;
  while (len > 0) {
    uint32_t n = std::min({len, size_ - pos_, size_ - src});
    uint8_t* out = buf_.get();
    if (dist >= n || src > pos_) {
      // no byte of this run reads what the run itself writes
      std::memmove(out + pos_, out + src, n);
    } else {
      for (uint32_t i = 0; i < n; ++i) out[pos_ + i] = out[src + i];
    }
    pos_ += n;
    src += n;
    if (src == size_) src = 0;
    total_ += n;
    len -= n;
    if (pos_ == size_ && !FlushWindow()) return false;
  }
  return fits;
}

bool TOutWindow::PutBytes(const uint8_t* p, uint32_t n) {
  if (status_ != drOk) return false;
  bool fits = true;
  if (static_cast<int64_t>(n) > Room()) {
    n = static_cast<uint32_t>(Room());
    fits = false;
  }
  while (n > 0) {
    uint32_t k = std::min(n, size_ - pos_);
    std::memcpy(buf_.get() + pos_, p, k);
    pos_ += k;
    total_ += k;
    p += k;
    n -= k;
    if (pos_ == size_ && !FlushWindow()) return false;
  }
  return fits;
}

int TOutWindow::Finish() {
  if (pos_ > 0 && status_ == drOk) {
    FlushWindow();
    pos_ = 0;
  }
  return status_;
}

}  // namespace zid
