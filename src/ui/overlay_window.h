#pragma once
// The window that shows the overlay badge: top-most, never activated, transparent to the mouse
// and, where the platform can, left out of screen captures. One per platform (a layered Win32
// popup; an override-redirect X11 window); the overlay drives it through this seam alone.
#include <functional>

#include "core/rect.h"
#include "ui/canvas.h"

namespace halvex {

class IOverlayWindow {
 public:
  using Painter = std::function<void(Canvas&)>;

  virtual ~IOverlayWindow() = default;

  // Moves and resizes the window to `bounds` (screen coordinates), puts it in the top-most band
  // and shows it without activating it.
  virtual void Place(const Rect& bounds) = 0;
  // Shows the window where it is, without activating it.
  virtual void ShowNoActivate() = 0;
  virtual void Hide() = 0;
  virtual bool IsShown() = 0;
  // Puts the window back on top of the top-most band (a game going full screen can push it down).
  virtual void RaiseTopMost() = 0;
  // Paints the whole client area with `paint`, now or at the window's next paint. The window keeps
  // `paint` and calls it again whenever the system asks for the picture, until the next Repaint;
  // the painter carries everything it draws, so it stays valid on its own.
  virtual void Repaint(Painter paint) = 0;
  // Starts, or restarts, the hide timer: after `ms` milliseconds `elapsed` runs on the thread that
  // drives the overlay (the window's message loop). Stopping drops a pending one.
  virtual void StartHideTimer(int ms, std::function<void()> elapsed) = 0;
  virtual void StopHideTimer() = 0;
};

}  // namespace halvex
