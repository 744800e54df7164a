#pragma once
// What a capture does when its device or sound server goes away: it tries to come back at
// growing intervals, and while nothing arrives for a while it no longer counts as running, so a
// clip is made without its track instead of waiting for sound that cannot come.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace halvex {

// The waits between attempts to reopen a lost capture: 250 ms, doubling up to 4 s.
class ReconnectBackoff {
 public:
  static constexpr int64_t kFirstNs = 250'000'000;
  static constexpr int64_t kLongestNs = 4'000'000'000;

  explicit ReconnectBackoff(int64_t firstNs = kFirstNs, int64_t longestNs = kLongestNs)
      : first_(firstNs), longest_(longestNs) {}
  // The wait before the next attempt; each call is one attempt.
  int64_t NextDelayNs();
  int Attempts() const { return attempts_; }
  // The capture is back: the next loss starts from the first wait again.
  void Reset() { attempts_ = 0; }

 private:
  int64_t first_;
  int64_t longest_;
  int attempts_ = 0;
};

// Whether a capture counts as running. It does until its device or server is gone and nothing
// has arrived for kSilentLimitNs; it does again once it is back. Safe from any thread.
class CaptureHealth {
 public:
  static constexpr int64_t kSilentLimitNs = 3'000'000'000;

  void Delivered(int64_t nowNs) { lastDataNs_ = nowNs; }
  // True when this call began a loss (the first report of it).
  bool Lost(int64_t nowNs);
  void Restored(int64_t nowNs);
  bool IsLost() const { return lost_; }
  bool Running(int64_t nowNs) const;

 private:
  std::atomic<bool> lost_{false};
  std::atomic<int64_t> lostNs_{0};
  std::atomic<int64_t> lastDataNs_{0};
};

// A thread that reopens a lost capture: after Lost() it calls `reopen` at the backoff's
// intervals until it returns true or the reconnector stops. `reopen` runs on that thread only and
// gets the number of the attempt (1 for the first).
class CaptureReconnector {
 public:
  using Reopen = std::function<bool(int attempt)>;

  explicit CaptureReconnector(Reopen reopen, ReconnectBackoff backoff = ReconnectBackoff());
  ~CaptureReconnector();
  CaptureReconnector(const CaptureReconnector&) = delete;
  CaptureReconnector& operator=(const CaptureReconnector&) = delete;

  // Any thread, also the capture's own callbacks: never blocks on a reopen.
  void Lost();
  // Waits for a reopen in progress; none runs after this until the next Lost().
  void Stop();
  // Lost and not yet reopened.
  bool Reconnecting() const { return pending_; }

 private:
  void Run();
  // Waits up to `ns`; false when stopped.
  bool WaitFor(int64_t ns);

  Reopen reopen_;
  ReconnectBackoff backoff_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool lostAgain_ = false;  // a loss reported since the last attempt began
  std::atomic<bool> pending_{false};
  std::thread thread_;
};

}  // namespace halvex
