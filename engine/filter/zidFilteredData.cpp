#include "engine/filter/zidFilteredData.h"

#include <algorithm>

#include "engine/base/zidStreams.h"

namespace zid {

namespace {
constexpr int64_t kHeadKept = 512;
}  // namespace

int64_t TFilteredData::ReadAt(int64_t pos, uint8_t* buf, int64_t n) {
  if (pos < 0 || n <= 0) return 0;
  // The first block, which callers look at before they walk, is kept: a walk
  // from the start then does not decode again.
  if (pos + n <= static_cast<int64_t>(head_.size())) {
    std::copy(head_.begin() + pos, head_.begin() + pos + n, buf);
    return n;
  }
  if (!reader_ || pos < pos_) {
    reader_ = open_();
    pos_ = 0;
    status_ = drOk;
    if (!reader_) {
      status_ = drInvalidData;
      return 0;
    }
  }
  if (size_ >= 0 && pos >= size_) return 0;
  // Decode on to pos.
  if (pos > pos_ && skip_.empty()) skip_.resize(65536);
  while (pos_ < pos) {
    const int64_t got = reader_->Read(skip_.data(), std::min<int64_t>(pos - pos_, skip_.size()));
    if (got <= 0) {
      if (got < 0) status_ = static_cast<int>(got);
      else size_ = pos_;
      return 0;
    }
    pos_ += got;
  }
  int64_t done = 0;
  while (done < n) {
    const int64_t got = reader_->Read(buf + done, n - done);
    if (got <= 0) {
      if (got < 0) status_ = static_cast<int>(got);
      else size_ = pos_;
      break;
    }
    done += got;
    pos_ += got;
  }
  if (pos == 0 && head_.empty()) head_.assign(buf, buf + std::min<int64_t>(done, kHeadKept));
  return done;
}

TDecodeSource StreamSource(TStream32& s, int64_t start, int64_t end) {
  TDecodeSource src;
  src.budget = end - start;
  auto pos = std::make_shared<int64_t>(start);
  src.read = [&s, pos, end](uint8_t* buf, int64_t n) -> int64_t {
    n = std::min(n, end - *pos);
    if (n <= 0 || s.Seek(*pos, 0) != *pos) return 0;
    const int64_t got = s.Read(buf, n);
    if (got > 0) *pos += got;
    return std::max<int64_t>(got, 0);
  };
  return src;
}

}  // namespace zid
