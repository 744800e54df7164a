#include "capture/linux/x_test_windows.h"

#include <cstdlib>

namespace halvex::testing {

XTestWindows::XTestWindows(const std::string& display) {
  display_ = XOpenDisplay(display.c_str());
  if (display_) gc_ = XCreateGC(display_, DefaultRootWindow(display_), 0, nullptr);
}

XTestWindows::~XTestWindows() {
  if (!display_) return;
  XFreeGC(display_, gc_);
  XCloseDisplay(display_);
}

Window XTestWindows::Create(int x, int y, int width, int height, Rgb colour) {
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = colour;
  const Window w = XCreateWindow(display_, DefaultRootWindow(display_), x, y,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                 CopyFromParent, InputOutput, CopyFromParent,
                                 CWOverrideRedirect | CWBackPixel, &a);
  XMapRaised(display_, w);
  Fill(w, 0, 0, width, height, colour);
  return w;
}

void XTestWindows::Fill(Window w, int x, int y, int width, int height, Rgb colour) {
  XSetForeground(display_, gc_, colour);
  XFillRectangle(display_, w, gc_, x, y, static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
  XSync(display_, False);
}

Rgb PixelAt(const CpuPicture& p, int x, int y) {
  const uint8_t* px = p.Row(y) + 4 * x;
  return (static_cast<Rgb>(px[2]) << 16) | (static_cast<Rgb>(px[1]) << 8) | px[0];
}

bool Near(Rgb a, Rgb b, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int ca = static_cast<int>((a >> shift) & 0xff);
    const int cb = static_cast<int>((b >> shift) & 0xff);
    if (std::abs(ca - cb) > tolerance) return false;
  }
  return true;
}

}  // namespace halvex::testing
