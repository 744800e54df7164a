#include <windows.h>

#include "core/clock.h"

namespace halvex {

int64_t MonotonicClock::NowNs() const {
  static const int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  return CounterToNs(counter.QuadPart, frequency);
}

}  // namespace halvex
