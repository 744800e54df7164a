#pragma once
// Windows 10 mode: the capture loop's private-window guard over the composition-attribute
// exclusion. A window is private when its program is one that is never a target: a built-in
// exclusion (browsers, chat, shells) or one the user excluded from video.
#include <windows.h>

#include <string>

#include "app/private_windows.h"
#include "capture/win/private_window_exclusion.h"
#include "input/target_detector.h"

namespace halvex {

class PrivateWindowGuard final : public IPrivateWindowGuard {
 public:
  // `setExcluded` as for PrivateWindowExclusion (null: SetWindowCompositionAttribute).
  PrivateWindowGuard(IWindowSystem& windows, TargetDetector& detector,
                     PrivateWindowExclusion::SetExcludedFn setExcluded = nullptr);

  void ExcludePrivateWindows(WindowId game) override;
  void RestorePrivateWindows() override;

  bool IsPrivate(HWND window);
  const PrivateWindowExclusion& Exclusion() const { return exclusion_; }

 private:
  IWindowSystem& windows_;
  TargetDetector& detector_;
  PrivateWindowExclusion exclusion_;
};

}  // namespace halvex
