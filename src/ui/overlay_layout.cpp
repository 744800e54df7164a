#include "ui/overlay_layout.h"

#include <algorithm>

#include "core/text.h"

namespace halvex {

namespace {

// The file name of an image path; a Windows path reported on Linux (a Wine program) keeps its
// backslashes, so both separators count.
std::string ImageName(const std::filesystem::path& image) {
  const std::string path = text::PathToUtf8(image);
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Rect BadgeBounds(const Rect& reference, Size size, const std::optional<Rect>& monitor) {
  int x = reference.right - size.width - kBadgeInset;
  int y = reference.top + kBadgeInset;
  if (monitor && size.width <= monitor->Width() && size.height <= monitor->Height()) {
    x = std::clamp(x, monitor->left, monitor->right - size.width);
    y = std::clamp(y, monitor->top, monitor->bottom - size.height);
  }
  return Rect{x, y, x + size.width, y + size.height};
}

WindowId UwpContentWindow(IWindowSystem& windows, WindowId target) {
  if (target == 0) return 0;
  const auto image = windows.ProcessImagePath(windows.WindowProcess(target));
  const bool frameHost =
      image && text::EqualsIgnoreAsciiCase(ImageName(*image), "ApplicationFrameHost.exe");
  if (!frameHost &&
      !text::EqualsIgnoreAsciiCase(windows.ClassName(target), "ApplicationFrameWindow")) {
    return 0;
  }
  for (const WindowId child : windows.ChildWindows(target)) {
    if (windows.IsVisible(child) &&
        text::EqualsIgnoreAsciiCase(windows.ClassName(child), "Windows.UI.Core.CoreWindow")) {
      return child;
    }
  }
  return 0;
}

WindowId RootOwner(IWindowSystem& windows, WindowId window) {
  // Bounded: a broken chain (a window owning itself through others) must not hang the loop.
  for (int depth = 0; depth < 64 && window != 0; ++depth) {
    const WindowId owner = windows.Owner(window);
    if (owner == 0 || owner == window) break;
    window = owner;
  }
  return window;
}

}  // namespace halvex
