#pragma once
// Capture of one window's own contents on X11: the window is redirected off-screen with
// Composite (automatic redirection, so it still shows normally), its backing pixmap is read with
// MIT-SHM, and DAMAGE on the window says when there is something new. Covered windows keep being
// captured, and our own overlay windows, being separate top-levels, never appear in it.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <memory>
#include <optional>
#include <string>

#include "capture/capture_sources.h"
#include "capture/linux/shm_image_pool.h"
#include "capture/linux/x_display.h"

namespace halvex {

class X11WindowSource final : public IWindowSource {
 public:
  // Empty `displayName`: $DISPLAY.
  explicit X11WindowSource(std::string displayName = {});
  ~X11WindowSource() override;

  bool Initialize() override;
  bool Start(WindowId window) override;
  void Stop() override;
  bool IsRunning() const override { return running_; }
  std::string MechanismName() const override { return "XComposite"; }
  std::optional<Picture> AcquireLatest() override;

 private:
  void DrainEvents();
  bool ReadIconic();
  bool EnsurePixmap();
  void FreePixmap();
  void Vanished();

  std::string displayName_;
  x11::DisplayPtr display_;
  std::unique_ptr<x11::ShmImagePool> pool_;
  int damageEvent_ = 0;
  Atom wmState_ = None;

  Window window_ = 0;
  Damage damage_ = 0;
  Pixmap pixmap_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  int width_ = 0;
  int height_ = 0;
  int border_ = 0;
  int pixmapWidth_ = 0;  // contents of the named pixmap, without the border
  int pixmapHeight_ = 0;
  bool running_ = false;
  bool viewable_ = false;
  bool iconic_ = false;
  bool dirty_ = false;
  bool gone_ = false;
};

}  // namespace halvex
