#include "core/clock.h"

namespace halvex {

namespace {
const MonotonicClock kMonotonic;
std::atomic<const ClockSource*> g_source{&kMonotonic};
}  // namespace

int64_t NowNs() { return g_source.load(std::memory_order_acquire)->NowNs(); }

void SetClockSource(const ClockSource* source) {
  g_source.store(source ? source : &kMonotonic, std::memory_order_release);
}

ScopedClockSource::ScopedClockSource(const ClockSource* source)
    : previous_(g_source.load(std::memory_order_acquire)) {
  SetClockSource(source);
}

ScopedClockSource::~ScopedClockSource() { SetClockSource(previous_); }

int64_t CounterToNs(int64_t counter, int64_t frequency) {
  if (frequency <= 0) return 0;
  // Whole seconds and remainder separately, so counter × 10^9 is never formed in 64 bits.
  const int64_t seconds = counter / frequency;
  const int64_t remainder = counter % frequency;
  const __int128 fraction = static_cast<__int128>(remainder) * 1000000000 / frequency;
  return seconds * 1000000000LL + static_cast<int64_t>(fraction);
}

}  // namespace halvex
