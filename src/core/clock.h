#pragma once
// Process-wide monotonic clock in nanoseconds. Video and audio time stamps, pacing and eviction all
// read this one clock, so they are directly comparable. Tests may install their own source.
#include <atomic>
#include <cstdint>

namespace halvex {

class ClockSource {
 public:
  virtual ~ClockSource() = default;
  virtual int64_t NowNs() const = 0;
};

// The platform's monotonic clock (performance counter on Windows, CLOCK_MONOTONIC on Linux).
class MonotonicClock final : public ClockSource {
 public:
  int64_t NowNs() const override;
};

// A clock that only moves when told to; for tests.
class ManualClock final : public ClockSource {
 public:
  explicit ManualClock(int64_t startNs = 0) : now_(startNs) {}
  int64_t NowNs() const override { return now_.load(); }
  void Set(int64_t ns) { now_.store(ns); }
  void Advance(int64_t ns) { now_.fetch_add(ns); }

 private:
  std::atomic<int64_t> now_;
};

// Current time from the installed source (the monotonic clock unless a test replaced it).
int64_t NowNs();

// Installs a source for the whole process; nullptr restores the monotonic clock. The caller keeps
// ownership and must keep it alive while installed.
void SetClockSource(const ClockSource* source);

// Installs a source for the lifetime of the object, restoring the previous one afterwards.
class ScopedClockSource {
 public:
  explicit ScopedClockSource(const ClockSource* source);
  ~ScopedClockSource();
  ScopedClockSource(const ScopedClockSource&) = delete;
  ScopedClockSource& operator=(const ScopedClockSource&) = delete;

 private:
  const ClockSource* previous_;
};

// counter × 10^9 ÷ frequency without overflowing 64 bits for any counter value.
int64_t CounterToNs(int64_t counter, int64_t frequency);

}  // namespace halvex
