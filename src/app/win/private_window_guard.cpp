#include "app/win/private_window_guard.h"

#include <cstdint>
#include <utility>

#include "core/text.h"

namespace halvex {

PrivateWindowGuard::PrivateWindowGuard(IWindowSystem& windows, TargetDetector& detector,
                                       PrivateWindowExclusion::SetExcludedFn setExcluded)
    : windows_(windows),
      detector_(detector),
      exclusion_([this](HWND window) { return IsPrivate(window); }, std::move(setExcluded)) {}

bool PrivateWindowGuard::IsPrivate(HWND window) {
  const auto id = static_cast<WindowId>(reinterpret_cast<uintptr_t>(window));
  const ProcessId process = windows_.WindowProcess(id);
  if (process == 0) return false;
  const auto name = detector_.ProcessImageName(process);
  if (!name) return false;
  const std::string lower = text::AsciiLower(*name);
  return IsBuiltInExclusion(lower) || detector_.IsExcluded(lower);
}

void PrivateWindowGuard::ExcludePrivateWindows(WindowId game) {
  exclusion_.ExcludePrivateWindows(reinterpret_cast<HWND>(static_cast<uintptr_t>(game)));
}

void PrivateWindowGuard::RestorePrivateWindows() { exclusion_.RestorePrivateWindows(); }

}  // namespace halvex
