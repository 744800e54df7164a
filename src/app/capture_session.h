#pragma once
// One capture session: the time during which one target game is followed.
#include <cstdint>
#include <string>

#include "input/target_detector.h"
#include "input/window_system.h"

namespace halvex {

struct CaptureSession {
  bool active = false;
  TargetInfo target;
  bool focused = false;
  bool maximized = false;
  int64_t startNs = 0;
};

enum class SessionEnd { None, Closed, Excluded };

// Why the recorded target stops being one: its window or process is gone, or the user excluded
// it.
SessionEnd CheckTarget(const TargetInfo& target, TargetDetector& detector,
                       IWindowSystem& windows);

}  // namespace halvex
