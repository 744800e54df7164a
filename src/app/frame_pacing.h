#pragma once
// The frame rate in force and the video clock that stamps and paces submitted pictures.
#include <cstdint>

#include "input/window_system.h"
#include "settings/video_settings.h"

namespace halvex {

// Monitor refresh rates outside this range are not believed.
inline constexpr int kMinRefreshHz = 24;
inline constexpr int kMaxRefreshHz = 360;
inline constexpr int kFallbackFrameRate = 60;

// The configured rate, or with VSync the refresh rate of the monitor showing `window` (24–360 Hz,
// else 60).
int CurrentFrameRate(const settings::VideoQualitySettings& video, IWindowSystem& windows,
                     WindowId window);
// "Auto (VFR real)": VSync off and no configured rate.
bool IsVariableFrameRate(const settings::VideoQualitySettings& video);
// Nanoseconds per picture; rates below 1 count as 60.
int64_t FrameIntervalNs(int frameRate);

class FramePacer {
 public:
  void Configure(int currentFrameRate, bool variable);
  bool Variable() const { return variable_; }
  int FrameRate() const { return frameRate_; }

  int64_t Clock() const { return clock_; }
  void SetClock(int64_t ns) { clock_ = ns; }
  void Clear() { clock_ = 0; }

  // Time stamp for a fixed-rate submission: the video clock, brought to `now` first when it is
  // unset or more than two intervals behind, so a stall never turns into a catch-up burst.
  int64_t FixedRateStamp(int64_t now);

  // End of a pass with a session. Returns the time to sleep until, or 0 to go on at once.
  int64_t EndOfPass(int64_t now, bool focused);

 private:
  int frameRate_ = kFallbackFrameRate;
  bool variable_ = false;
  int64_t clock_ = 0;
};

}  // namespace halvex
