#include "encode/encoder_load_monitor.h"

#include <algorithm>

namespace halvex {
namespace {

// Encoding that fills more than 90 % of the picture interval leaves nothing for a busier scene.
constexpr int64_t kBusyPercent = 90;
// One window in twenty pictures dropped for backlog is already visible stutter.
constexpr int kDropShareDivisor = 20;
constexpr int kBehindWindowsToAct = 2;
constexpr int kMinWindow = 8;  // pictures; otherwise half a second of them

}  // namespace

void EncoderLoadMonitor::Start(int fps, uint64_t droppedSoFar) {
  const int rate = std::max(fps, 1);
  intervalNs_ = 1'000'000'000 / rate;
  window_ = std::max(rate / 2, kMinWindow);
  inWindow_ = 0;
  busyNs_ = 0;
  droppedAtWindowStart_ = droppedSoFar;
  behindWindows_ = 0;
}

bool EncoderLoadMonitor::Observe(int64_t encodeNs, uint64_t droppedSoFar) {
  busyNs_ += std::max<int64_t>(encodeNs, 0);
  ++inWindow_;
  // A window also ends once its pictures took longer to encode than the window lasts: an encoder
  // far behind delivers few pictures, and waiting for a full count would take many seconds.
  const bool overdue = busyNs_ >= intervalNs_ * window_;
  if (inWindow_ < window_ && !overdue) return false;

  const uint64_t dropped = droppedSoFar - droppedAtWindowStart_;
  lastMeanNs_ = busyNs_ / inWindow_;
  const bool busy = busyNs_ * 100 > kBusyPercent * intervalNs_ * inWindow_;
  const bool dropping =
      dropped * kDropShareDivisor >= static_cast<uint64_t>(std::max(inWindow_, kDropShareDivisor));
  behindWindows_ = busy || dropping ? behindWindows_ + 1 : 0;
  inWindow_ = 0;
  busyNs_ = 0;
  droppedAtWindowStart_ = droppedSoFar;
  if (behindWindows_ < kBehindWindowsToAct) return false;
  behindWindows_ = 0;
  return true;
}

EncoderLoadMonitor::Step EncoderLoadMonitor::ChooseStep(bool encoderCanSpeedUp, int fps) {
  if (encoderCanSpeedUp) return Step::SpeedUp;
  if (fps / 2 >= kMinFrameRate) return Step::HalveRate;
  return Step::None;
}

}  // namespace halvex
