#pragma once
// Windows 10 mode: while the game has focus, private windows (the exclusion rules decide which)
// that overlap the game are hidden from desktop duplication through their composition attribute,
// and shown again when they stop overlapping, when focus is lost and when the session ends.
#include <windows.h>

#include <functional>
#include <vector>

namespace halvex {

class PrivateWindowExclusion {
 public:
  // Whether the process owning a window is private (the target detector's exclusion rules).
  using IsPrivateFn = std::function<bool(HWND)>;
  // Sets the "excluded from capture" composition attribute; true when it was applied.
  using SetExcludedFn = std::function<bool(HWND, bool)>;

  // Without `setExcluded` the attribute is set through SetWindowCompositionAttribute, looked up
  // once in user32.dll; when that is missing windows simply stay unexcluded.
  explicit PrivateWindowExclusion(IsPrivateFn isPrivate, SetExcludedFn setExcluded = nullptr);
  ~PrivateWindowExclusion();
  PrivateWindowExclusion(const PrivateWindowExclusion&) = delete;
  PrivateWindowExclusion& operator=(const PrivateWindowExclusion&) = delete;

  // One pass while the game has focus.
  void ExcludePrivateWindows(HWND game);
  // Focus lost or session end: every listed window that still exists gets its attribute back.
  void RestorePrivateWindows();

  const std::vector<HWND>& Excluded() const { return excluded_; }

 private:
  IsPrivateFn isPrivate_;
  SetExcludedFn setExcluded_;
  std::vector<HWND> excluded_;
};

// SetWindowCompositionAttribute with attribute 24 (excluded from desktop duplication); false when
// user32 lacks the function or the call fails.
bool SetExcludedFromCapture(HWND window, bool excluded);

}  // namespace halvex
