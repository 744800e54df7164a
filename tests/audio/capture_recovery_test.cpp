#include "audio/capture_recovery.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace halvex {
namespace {

constexpr int64_t kMs = 1'000'000;

TEST(CaptureRecoveryTest, BackoffDoublesUpToItsLongestWaitAndStartsAgainAfterAReturn) {
  ReconnectBackoff backoff;
  const std::vector<int64_t> expected = {250 * kMs, 500 * kMs, 1000 * kMs, 2000 * kMs,
                                         4000 * kMs, 4000 * kMs, 4000 * kMs};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(backoff.NextDelayNs(), expected[i]) << "attempt " << i + 1;
  }
  EXPECT_EQ(backoff.Attempts(), 7);
  // Many failed attempts never overflow the wait.
  for (int i = 0; i < 200; ++i) EXPECT_EQ(backoff.NextDelayNs(), 4000 * kMs);
  backoff.Reset();
  EXPECT_EQ(backoff.NextDelayNs(), 250 * kMs);
}

// A capture whose server is gone keeps counting as running while sound already on its way may
// still come, and stops counting after three quiet seconds: then a clip leaves its track out.
TEST(CaptureRecoveryTest, ALostCaptureStopsCountingAfterThreeQuietSeconds) {
  struct Case {
    const char* what;
    int64_t lastDataMs;  // -1: never delivered
    int64_t lostMs;      // -1: never lost
    int64_t restoredMs;  // -1: not back
    int64_t nowMs;
    bool running;
  };
  const Case cases[] = {
      {"never lost, quiet for long", 1000, -1, -1, 60'000, true},
      {"lost just now", 1000, 1000, -1, 1100, true},
      {"lost, quiet 2.9 s", 1000, 1000, -1, 3900, true},
      {"lost, quiet 3 s", 1000, 1000, -1, 4000, false},
      {"lost long after its last sound", 1000, 50'000, -1, 52'000, true},
      {"lost long after its last sound, 3 s later", 1000, 50'000, -1, 53'000, false},
      {"sound in flight after the loss", 5000, 3000, -1, 7000, true},
      {"lost, then back", 1000, 1000, 9000, 20'000, true},
      {"lost before it ever delivered", -1, 100, -1, 3100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CaptureHealth health;
    if (c.lastDataMs >= 0) health.Delivered(c.lastDataMs * kMs);
    if (c.lostMs >= 0) {
      EXPECT_TRUE(health.Lost(c.lostMs * kMs));
    }
    if (c.restoredMs >= 0) health.Restored(c.restoredMs * kMs);
    EXPECT_EQ(health.Running(c.nowMs * kMs), c.running);
  }
}

TEST(CaptureRecoveryTest, OnlyTheFirstReportBeginsALoss) {
  CaptureHealth health;
  EXPECT_TRUE(health.Lost(10 * kMs));
  EXPECT_FALSE(health.Lost(20 * kMs));  // the stream and the connection both report it
  EXPECT_FALSE(health.Running(3010 * kMs));  // counted from the first report
  health.Restored(4000 * kMs);
  EXPECT_FALSE(health.IsLost());
  EXPECT_TRUE(health.Lost(5000 * kMs));
}

template <typename Pred>
bool Eventually(Pred pred) {
  for (int i = 0; i < 1000 && !pred(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

// A fake capture: the server comes back after a number of refused attempts.
struct FakeServer {
  std::mutex mutex;
  int refusals = 0;
  std::vector<int> attempts;
  bool Reopen(int attempt) {
    std::lock_guard lock(mutex);
    attempts.push_back(attempt);
    if (refusals > 0) {
      --refusals;
      return false;
    }
    return true;
  }
  std::vector<int> Attempts() {
    std::lock_guard lock(mutex);
    return attempts;
  }
};

TEST(CaptureRecoveryTest, ReconnectorRetriesUntilTheCaptureIsBackAndAgainAfterTheNextLoss) {
  FakeServer server;
  server.refusals = 2;
  CaptureReconnector reconnector([&](int attempt) { return server.Reopen(attempt); },
                                 ReconnectBackoff(kMs, 2 * kMs));
  EXPECT_FALSE(reconnector.Reconnecting());
  reconnector.Lost();
  reconnector.Lost();  // one loss, however many report it
  EXPECT_TRUE(Eventually([&] { return !reconnector.Reconnecting(); }));
  EXPECT_EQ(server.Attempts(), (std::vector<int>{1, 2, 3}));

  reconnector.Lost();
  EXPECT_TRUE(Eventually([&] { return !reconnector.Reconnecting(); }));
  EXPECT_EQ(server.Attempts(), (std::vector<int>{1, 2, 3, 1}));
}

TEST(CaptureRecoveryTest, StoppingEndsTheAttempts) {
  FakeServer server;
  server.refusals = 1'000'000;
  CaptureReconnector reconnector([&](int attempt) { return server.Reopen(attempt); },
                                 ReconnectBackoff(kMs, kMs));
  reconnector.Lost();
  EXPECT_TRUE(Eventually([&] { return server.Attempts().size() >= 3; }));
  reconnector.Stop();
  EXPECT_FALSE(reconnector.Reconnecting());
  const size_t after = server.Attempts().size();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(server.Attempts().size(), after);
}

}  // namespace
}  // namespace halvex
