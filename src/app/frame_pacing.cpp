#include "app/frame_pacing.h"

namespace halvex {

int CurrentFrameRate(const settings::VideoQualitySettings& video, IWindowSystem& windows,
                     WindowId window) {
  if (!video.vsync) return video.fps;
  const int hz = windows.RefreshRateHz(window);
  return hz >= kMinRefreshHz && hz <= kMaxRefreshHz ? hz : kFallbackFrameRate;
}

bool IsVariableFrameRate(const settings::VideoQualitySettings& video) {
  return !video.vsync && video.fps == 0;
}

int64_t FrameIntervalNs(int frameRate) {
  return 1'000'000'000LL / (frameRate < 1 ? kFallbackFrameRate : frameRate);
}

void FramePacer::Configure(int currentFrameRate, bool variable) {
  frameRate_ = currentFrameRate;
  variable_ = variable;
}

int64_t FramePacer::FixedRateStamp(int64_t now) {
  const int64_t interval = FrameIntervalNs(frameRate_);
  if (clock_ == 0 || now - clock_ > 2 * interval) clock_ = now;
  return clock_;
}

int64_t FramePacer::EndOfPass(int64_t now, bool focused) {
  if (variable_ && focused) {
    // The screen source's own wait paces this mode.
    clock_ = now;
    return 0;
  }
  clock_ += FrameIntervalNs(variable_ ? kFallbackFrameRate : frameRate_);
  if (clock_ <= now) {
    clock_ = now;
    return 0;
  }
  return clock_;
}

}  // namespace halvex
