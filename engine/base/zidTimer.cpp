#include "engine/base/zidTimer.h"

#include "platform/datetime.h"

namespace zid {

static uint32_t Tick() {
  uint32_t t = plat::GetTickCount();
  return t == 0 ? 1 : t;  // 0 means "not running"
}

void TzidTimer::Start() {
  start_ = Tick();
  pause_ = 0;
  elapsed_ = 0;
}

void TzidTimer::Stop() {
  if (!Running()) return;
  stop_ = Tick();
  elapsed_ = static_cast<float>(stop_ - start_) / 1000.0f;
  start_ = 0;
  pause_ = 0;
}

void TzidTimer::Pause() {
  if (Running()) pause_ = Tick();
}

void TzidTimer::Resume() {
  if (!Running() || pause_ == 0) return;
  start_ += Tick() - pause_;
  pause_ = 0;
}

int Percent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  if (done <= 0) return 0;
  if (done >= total) return 100;
  // done < total here, so done * 100 only overflows for totals above 2^56;
  // use long double there.
  long double p = static_cast<long double>(done) * 100.0L / static_cast<long double>(total);
  int r = static_cast<int>(p + 0.5L);
  return r < 0 ? 0 : (r > 100 ? 100 : r);
}

}  // namespace zid
