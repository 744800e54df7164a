#include "core/clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace halvex {
namespace {

TEST(ClockTest, CounterConversionDoesNotOverflow) {
  // A 10 MHz counter after about 29 years of uptime: counter × 10^9 would overflow 64 bits.
  const int64_t frequency = 10000000;
  const int64_t counter = 9223372036854775LL;
  EXPECT_EQ(CounterToNs(counter, frequency), 922337203685477500LL);
  EXPECT_EQ(CounterToNs(3, 3), 1000000000LL);
  EXPECT_EQ(CounterToNs(1, 3), 333333333LL);
  EXPECT_EQ(CounterToNs(12345, 0), 0);
  // An odd frequency keeps the fractional part exact.
  EXPECT_EQ(CounterToNs(2999999, 3000000), 999999666LL);
}

TEST(ClockTest, MonotonicClockNeverGoesBackwards) {
  MonotonicClock clock;
  int64_t last = clock.NowNs();
  EXPECT_GT(last, 0);
  for (int i = 0; i < 10000; ++i) {
    const int64_t now = clock.NowNs();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST(ClockTest, ScopedSourceReplacesAndRestores) {
  ManualClock manual(42);
  {
    ScopedClockSource scoped(&manual);
    EXPECT_EQ(NowNs(), 42);
    manual.Advance(8);
    EXPECT_EQ(NowNs(), 50);
  }
  EXPECT_GT(NowNs(), 1000);  // back on the real clock
}

}  // namespace
}  // namespace halvex
