#pragma once
// Whole-monitor capture on X11: the first RandR monitor (the whole root window when RandR lists
// none) read through MIT-SHM; DAMAGE on the root window tells whether anything changed. Our own
// windows (the overlay badge) are painted out of every picture (excluded_windows.h).
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <memory>
#include <string>

#include "capture/capture_sources.h"
#include "capture/linux/excluded_windows.h"
#include "capture/linux/shm_image_pool.h"
#include "capture/linux/x_display.h"

namespace halvex {

class X11ScreenSource final : public IScreenSource {
 public:
  // Empty `displayName`: $DISPLAY.
  explicit X11ScreenSource(std::string displayName = {});
  ~X11ScreenSource() override;

  const OutputInfo& Output() const override { return output_; }
  bool Open() override;
  void Close() override;
  Acquire AcquireNext(int timeoutMs, bool keep, Picture& picture) override;
  uint32_t LastError() const override { return static_cast<uint32_t>(error_); }
  std::string MechanismName() const override { return "XShm (pantalla completa)"; }
  std::string MechanismShortName() const override { return "XShm"; }

 private:
  bool FindOutput();
  // Reads queued events; true when the screen was damaged. Sets `changed_` on a new screen size.
  bool DrainEvents();
  bool WaitForEvents(int timeoutMs);

  std::string displayName_;
  OutputInfo output_;
  x11::DisplayPtr display_;
  std::unique_ptr<x11::ShmImagePool> pool_;
  std::unique_ptr<x11::ExcludedWindows> excluded_;
  Window root_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  Damage damage_ = 0;
  int damageEvent_ = 0;
  int randrEvent_ = -1;
  bool damaged_ = false;
  bool changed_ = false;
  int error_ = 0;
};

}  // namespace halvex
