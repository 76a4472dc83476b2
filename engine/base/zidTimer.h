// The stopwatch of an operation. Reporting routines and prompts pause it so
// that time spent in event handlers is not counted.
#pragma once

#include <cstdint>

namespace zid {

class TzidTimer {
 public:
  void Start();
  void Stop();    // only while running
  void Pause();   // only while running
  void Resume();  // only while running and paused
  bool Running() const { return start_ != 0; }
  float ElapsedTime() const { return elapsed_; }

 private:
  uint32_t start_ = 0;  // 0 = not running
  uint32_t stop_ = 0;
  uint32_t pause_ = 0;
  float elapsed_ = 0;
};

// The engine's percent rule: done * 100 / total rounded to the nearest
// integer and clamped to 0..100; 0 when total is not above zero.
int Percent(int64_t done, int64_t total);

}  // namespace zid
