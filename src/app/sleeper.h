#pragma once
// How the capture loop waits. Injected so that tests on a manual clock never sleep for real.
#include <cstdint>

namespace halvex {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Returns at or after `deadlineNs` on the process clock (core/clock.h).
  virtual void SleepUntil(int64_t deadlineNs) = 0;
  virtual void SleepFor(int64_t durationNs) = 0;
};

// Sleeps the calling thread against the process clock.
class ThreadSleeper final : public Sleeper {
 public:
  void SleepUntil(int64_t deadlineNs) override;
  void SleepFor(int64_t durationNs) override;
};

}  // namespace halvex
