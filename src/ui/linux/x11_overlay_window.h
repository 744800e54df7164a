#pragma once
// The overlay badge's window on X11: an override-redirect top-level on a connection of its own,
// which the window manager never manages and which never takes the focus; its input shape is
// empty, so the mouse goes to the game beneath. With a compositing manager it has an alpha channel
// (the badge is slightly see-through, the key colour fully); without one its bounding shape is the
// painted badge, so the key colour is never seen. It is marked to be left out of screen captures.
//
// The main loop owns it next to the Overlay that drives it: Create once, then Pump on every pass
// (or when ConnectionFd is readable or MsUntilTimer has passed), on the thread that drives the
// Overlay. Nothing in it blocks except Create and Sync.
#include <X11/Xlib.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ui/linux/badge_pixels.h"
#include "ui/overlay_window.h"

namespace halvex {

namespace x11 {
class KeptBeneath;
}

class X11OverlayWindow final : public IOverlayWindow {
 public:
  // Empty `displayName`: $DISPLAY. Nothing is opened until Create.
  explicit X11OverlayWindow(std::string displayName = {});
  ~X11OverlayWindow() override;
  X11OverlayWindow(const X11OverlayWindow&) = delete;
  X11OverlayWindow& operator=(const X11OverlayWindow&) = delete;

  // Opens the connection and makes the window, hidden, at 0,0 with 210 x 42. False when there is
  // no X server or it lacks the SHAPE extension (the badge would catch the mouse).
  bool Create();

  // Reads the window's events (repainting what the server lost) and runs the hide timer once due.
  void Pump();
  // The connection's descriptor (-1 before Create): readable means Pump has events to read.
  int ConnectionFd() const;
  // Milliseconds until the hide timer is due; nullopt when none runs.
  std::optional<int64_t> MsUntilTimer() const;
  // Waits until the server has carried out every request so far (for pictures of the screen).
  void Sync();

  Window Id() const { return window_; }
  // True when painted with an alpha channel for a compositing manager.
  bool HasAlpha() const { return argb_; }

  void Place(const Rect& bounds) override;
  void ShowNoActivate() override;
  void Hide() override;
  bool IsShown() override { return shown_; }
  void RaiseTopMost() override;
  void Repaint(Painter paint) override;
  void StartHideTimer(int ms, std::function<void()> elapsed) override;
  void StopHideTimer() override;

 private:
  void SetProperties();
  // Runs the painter at the window's size and sends the picture and its shape.
  void Render();
  void PutPicture();
  void Destroy();

  std::string displayName_;
  Display* display_ = nullptr;
  Window window_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  Colormap colormap_ = 0;
  GC gc_ = nullptr;
  bool argb_ = false;
  bool shown_ = false;
  Rect bounds_{0, 0, 210, 42};
  std::unique_ptr<x11::KeptBeneath> kept_;
  Painter painter_;
  BadgePixels pixels_;
  std::function<void()> timerElapsed_;
  int64_t timerDeadline_ = 0;
};

}  // namespace halvex
