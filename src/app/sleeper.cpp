#include "app/sleeper.h"

#include <chrono>
#include <thread>

#include "core/clock.h"

namespace halvex {

void ThreadSleeper::SleepUntil(int64_t deadlineNs) {
  const int64_t remaining = deadlineNs - NowNs();
  if (remaining > 0) SleepFor(remaining);
}

void ThreadSleeper::SleepFor(int64_t durationNs) {
  if (durationNs > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(durationNs));
}

}  // namespace halvex
