#include <time.h>

#include "core/clock.h"

namespace halvex {

int64_t MonotonicClock::NowNs() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace halvex
