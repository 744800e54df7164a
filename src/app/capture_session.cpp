#include "app/capture_session.h"

namespace halvex {

SessionEnd CheckTarget(const TargetInfo& target, TargetDetector& detector,
                       IWindowSystem& windows) {
  if (detector.IsExcluded(target.executableName)) return SessionEnd::Excluded;
  if (!windows.IsWindow(target.window) || !detector.TargetAlive(target.processId)) {
    return SessionEnd::Closed;
  }
  return SessionEnd::None;
}

}  // namespace halvex
