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
  // Rounded to the nearest: (200 done + total) / (2 total), in 128 bits so
  // that no total overflows (this runs once per progress report).
  using u128 = unsigned __int128;
  const u128 r = (u128(done) * 200 + u128(total)) / (u128(total) * 2);
  return static_cast<int>(r > 100 ? 100 : r);
}

}  // namespace zid
