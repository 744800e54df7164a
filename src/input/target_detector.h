#pragma once
// Which window is the game being recorded: the foreground window of another program, unless it
// belongs to the desktop shell, a known non-game program, the settings app, or a program the user
// excluded. Also the checks the capture loop makes while a target is recorded.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

  // The window belongs to the system settings app (only ever true on Windows).
  bool IsSettingsApp(WindowId window);
  // File name of the process's image (case as on disk), nullopt when the process cannot be read.
  std::optional<std::string> ProcessImageName(ProcessId process);

 private:
  IWindowSystem& windows_;
  std::vector<std::string> videoExclusions_;
};

// The answer of the process-tree test for the last (foreground process, target process) pair:
// walking the process table on every pass of the capture loop would cost a snapshot each time.
class FocusCache {
 public:
  // The foreground window is the target window, or its process is the target's process or one
  // of its descendants; re-walks the tree only when the pair of processes changed.
  bool TargetInFront(IWindowSystem& windows, WindowId target, ProcessId process);
  // Forget the cached answer (a new session starts).
  void Reset() { valid_ = false; }
  // Number of process-tree walks made (what the cache saves).
  uint64_t Walks() const { return walks_; }

 private:
  bool valid_ = false;
  ProcessId foreground_ = 0;
  ProcessId target_ = 0;
  bool answer_ = false;
  uint64_t walks_ = 0;
};

inline constexpr int kMaxProcessTreeSteps = 32;

// True when `process` is `ancestor` or reaches it by following parents for at most 32 steps. The
// walk stops at id 0, at a process that is its own parent, at an id missing from the table, and
// never loops on a cycle in the table.
bool DescendsFrom(const std::vector<std::pair<ProcessId, ProcessId>>& parents, ProcessId process,
                  ProcessId ancestor);

// Built-in names that are never a target (lower case). On Linux it also names the desktop's own
// programs.
bool IsBuiltInExclusion(const std::string& lowerCaseName);
// The two lists behind it, both available on every platform (Linux checks both: Wine runs the
// Windows programs too).
bool IsBuiltInWindowsExclusion(std::string_view lowerCaseName);
bool IsBuiltInLinuxExclusion(std::string_view lowerCaseName);
// Desktop shell window classes (lower case), compared exactly.
bool IsShellWindowClass(std::string_view lowerCaseClass);
// Discord clients (any case): the programs whose sound the shared copy is made for.
bool IsDiscordClient(std::string_view name);

}  // namespace halvex
