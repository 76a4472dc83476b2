#include "engine/other/zidArcRle.h"

namespace zid {

namespace {
constexpr uint8_t kRunMarker = 0x90;
}

TDecodeSink TArcRleSink::Sink() {
  TDecodeSink s;
  s.write = [this](const uint8_t* buf, int64_t n) { return Write(buf, n); };
  return s;
}

bool TArcRleSink::FlushBuf() {
  if (pos_ == 0) return true;
  if (!out_.write || out_.write(buf_, pos_) != pos_) {
    failed_ = true;
    return false;
  }
  pos_ = 0;
  return true;
}

bool TArcRleSink::Emit(uint8_t b, uint32_t count) {
  while (count > 0) {
    if (limit_ >= 0 && produced_ >= limit_) {
      over_ = true;
      return false;
    }
    if (pos_ == sizeof buf_ && !FlushBuf()) return false;
    buf_[pos_++] = b;
    ++produced_;
    --count;
  }
  return true;
}

int64_t TArcRleSink::Write(const uint8_t* buf, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    const uint8_t c = buf[i];
    bool ok;
    if (inRun_) {
      inRun_ = false;
      // A count repeats the byte before the marker; a zero count is the marker itself as data.
      ok = c == 0 ? Emit(kRunMarker, 1) : Emit(last_, c - 1u);
    } else if (c == kRunMarker) {
      inRun_ = true;
      ok = true;
    } else {
      last_ = c;
      ok = Emit(c, 1);
    }
    if (!ok) return i;
  }
  return n;
}

bool TArcRleSink::Finish() { return !failed_ && FlushBuf(); }

int ArcRleResult(int decodeResult, TArcRleSink& rle) {
  if (decodeResult == drOutputFailed && rle.Over() && !rle.Failed()) decodeResult = drOk;
  if (!rle.Finish()) return drOutputFailed;
  return decodeResult;
}

}  // namespace zid
