#pragma once
// Plain X windows with known colours, drawn from a connection of the test's own.
#include <X11/Xlib.h>

#include <cstdint>
#include <string>

#include "core/linux/cpu_picture.h"

namespace halvex::testing {

// 0xRRGGBB
using Rgb = uint32_t;

class XTestWindows {
 public:
  explicit XTestWindows(const std::string& display);
  ~XTestWindows();

  Display* display() const { return display_; }
  // An unmanaged (override-redirect) window at x, y filled with `colour`, mapped.
  Window Create(int x, int y, int width, int height, Rgb colour);
  void Fill(Window w, int x, int y, int width, int height, Rgb colour);
  void Sync() { XSync(display_, False); }

 private:
  Display* display_ = nullptr;
  GC gc_ = nullptr;
};

// The pixel of a BGRA picture as 0xRRGGBB.
Rgb PixelAt(const CpuPicture& p, int x, int y);
// Every channel within `tolerance`.
bool Near(Rgb a, Rgb b, int tolerance = 0);

}  // namespace halvex::testing
