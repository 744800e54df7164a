#include "audio/capture_recovery.h"

#include <algorithm>
#include <chrono>

namespace halvex {

int64_t ReconnectBackoff::NextDelayNs() {
  int64_t delay = first_;
  for (int i = 0; i < attempts_ && delay < longest_; ++i) delay *= 2;
  ++attempts_;
  return std::min(delay, longest_);
}

bool CaptureHealth::Lost(int64_t nowNs) {
  if (lost_.exchange(true)) return false;
  lostNs_ = nowNs;
  return true;
}

void CaptureHealth::Restored(int64_t nowNs) {
  lastDataNs_ = nowNs;
  lost_ = false;
}

bool CaptureHealth::Running(int64_t nowNs) const {
  if (!lost_) return true;
  // Sound still in flight when the loss was noticed counts as delivered.
  const int64_t quietSince = std::max<int64_t>(lostNs_, lastDataNs_);
  return nowNs - quietSince < kSilentLimitNs;
}

CaptureReconnector::CaptureReconnector(Reopen reopen, ReconnectBackoff backoff)
    : reopen_(std::move(reopen)), backoff_(backoff) {}

CaptureReconnector::~CaptureReconnector() { Stop(); }

void CaptureReconnector::Lost() {
  std::lock_guard lock(mutex_);
  lostAgain_ = true;
  if (pending_.exchange(true)) return;
  stop_ = false;
  // The thread of an earlier loss has ended (it only ends when reopened or stopped).
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { Run(); });
  } else {
    wake_.notify_all();
  }
}

void CaptureReconnector::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  pending_ = false;
}

bool CaptureReconnector::WaitFor(int64_t ns) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, std::chrono::nanoseconds(ns), [this] { return stop_; });
  return !stop_;
}

void CaptureReconnector::Run() {
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || pending_; });
      if (stop_) return;
    }
    backoff_.Reset();
    for (;;) {
      if (!WaitFor(backoff_.NextDelayNs())) return;
      {
        std::lock_guard lock(mutex_);
        lostAgain_ = false;
      }
      if (!reopen_(backoff_.Attempts())) continue;
      // Reopened, unless the new connection died while it was made.
      std::lock_guard lock(mutex_);
      if (!lostAgain_) {
        pending_ = false;
        break;
      }
    }
  }
}

}  // namespace halvex
