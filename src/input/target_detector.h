#pragma once
// Which window is the game being recorded: the foreground window of another program, unless it
// belongs to the desktop shell, a known non-game program, the settings app, or a program the user
// excluded. Also the checks the capture loop makes while a target is recorded.
#include <cstdint>
#include <string>
#include <vector>

#include "input/window_system.h"

namespace halvex {

struct TargetInfo {
  bool valid = false;
  ProcessId processId = 0;
  WindowId window = 0;
  std::string title;           // the executable name when the window has none
  std::string executableName;  // file name, case as on disk
  std::string displayName;     // version-information name, else the title
};

class TargetDetector {
 public:
  explicit TargetDetector(IWindowSystem& windows);

  // The user's video exclusion list (any case; kept lower-cased).
  void SetVideoExclusions(const std::vector<std::string>& names);
  bool IsExcluded(const std::string& executableName) const;

  TargetInfo DetectForeground();

  // A window that could be a game: visible, not minimised, unowned, at least 640x360, not a
  // desktop shell window.
  bool IsCandidateWindow(WindowId window);
  bool TargetAlive(ProcessId process);
  // The foreground window is the target window, or a candidate window of the target's process.
  bool TargetInFrontByWindow(WindowId target, ProcessId process);
  // The foreground window is the target window, or its process descends from the target's
  // process within 32 steps.
  bool TargetInFrontByProcessTree(WindowId target, ProcessId process);

 private:
  IWindowSystem& windows_;
  std::vector<std::string> videoExclusions_;
};

// Built-in names that are never a target (lower case). On Linux it also names the desktop's own
// programs.
bool IsBuiltInExclusion(const std::string& lowerCaseName);

}  // namespace halvex
