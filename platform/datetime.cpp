#include "platform/datetime.h"

#include <time.h>

namespace plat {

uint32_t GetTickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

}  // namespace plat
