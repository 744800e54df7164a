#pragma once
// Where the overlay badge goes: the top-right corner of the game's window, kept on its monitor.
#include <optional>

#include "core/rect.h"
#include "input/window_system.h"
#include "ui/overlay_look.h"

namespace halvex {

inline constexpr int kBadgeInset = 14;  // from the reference window's right and top edges

// The badge's bounds in screen coordinates: `size` at the reference rectangle's top-right corner,
// pulled back inside `monitor` when it is known and the badge fits into it.
Rect BadgeBounds(const Rect& reference, Size size, const std::optional<Rect>& monitor);

// A UWP frame (the frame host's window) draws its app in a child window; the badge belongs on that
// child. Returns the first visible "Windows.UI.Core.CoreWindow" child of a frame, 0 otherwise.
WindowId UwpContentWindow(IWindowSystem& windows, WindowId target);

// The window at the top of `window`'s owner chain (the window itself when it has no owner).
WindowId RootOwner(IWindowSystem& windows, WindowId window);

}  // namespace halvex
