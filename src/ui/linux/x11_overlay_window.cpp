#include "ui/linux/x11_overlay_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <cairo.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/linux/x11_capture_mark.h"
#include "input/linux/x11_error_trap.h"
#include "ui/linux/cairo_canvas.h"
#include "ui/linux/x11_kept_beneath.h"
#include "ui/overlay_look.h"

namespace halvex {
namespace {

// How opaque the badge is where a compositing manager blends it over the game.
constexpr uint8_t kBadgeAlpha = 225;

Atom Intern(Display* d, const char* name) { return XInternAtom(d, name, False); }

// The lowest set bit of a colour mask and its width, to place an 8-bit channel in a pixel.
unsigned long Channel(uint32_t value8, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long max = mask >> shift;
  return ((value8 * max + 127) / 255) << shift;
}

}  // namespace

X11OverlayWindow::X11OverlayWindow(std::string displayName)
    : displayName_(std::move(displayName)) {}

X11OverlayWindow::~X11OverlayWindow() { Destroy(); }

bool X11OverlayWindow::Create() {
  Destroy();
  x11::InstallErrorHandler();
  display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  if (!display_) return false;
  Display* d = display_;
  int shapeEvent = 0, shapeError = 0;
  if (!XShapeQueryExtension(d, &shapeEvent, &shapeError)) {
    Destroy();
    return false;
  }
  const int screen = DefaultScreen(d);
  const Window root = RootWindow(d, screen);

  // Alpha needs someone to blend it: a compositing manager owns this selection.
  const std::string cm = "_NET_WM_CM_S" + std::to_string(screen);
  XVisualInfo info{};
  argb_ = XGetSelectionOwner(d, Intern(d, cm.c_str())) != None &&
          XMatchVisualInfo(d, screen, 32, TrueColor, &info);

  XSetWindowAttributes attrs{};
  unsigned long mask = CWOverrideRedirect | CWEventMask | CWBorderPixel;
  attrs.override_redirect = True;
  attrs.event_mask = ExposureMask;
  attrs.border_pixel = 0;
  if (argb_) {
    visual_ = info.visual;
    depth_ = info.depth;
    colormap_ = XCreateColormap(d, root, visual_, AllocNone);
    attrs.colormap = colormap_;
    attrs.background_pixel = 0;  // fully transparent
    mask |= CWColormap | CWBackPixel;
  } else {
    visual_ = DefaultVisual(d, screen);
    depth_ = DefaultDepth(d, screen);
    attrs.background_pixmap = None;  // nothing is drawn before the badge itself
    mask |= CWBackPixmap;
  }

  x11::ErrorTrap trap(d);
  window_ = XCreateWindow(d, root, bounds_.left, bounds_.top,
                          static_cast<unsigned>(bounds_.Width()),
                          static_cast<unsigned>(bounds_.Height()), 0, depth_, InputOutput, visual_,
                          mask, &attrs);
  if (trap.Sync() || window_ == 0) {
    window_ = 0;
    Destroy();
    return false;
  }
  // The mouse goes through; nothing shows until the first picture gives the shape.
  XShapeCombineRectangles(d, window_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  XShapeCombineRectangles(d, window_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  gc_ = XCreateGC(d, window_, 0, nullptr);
  SetProperties();
  kept_ = std::make_unique<x11::KeptBeneath>(d, window_);
  if (trap.Sync()) {
    Destroy();
    return false;
  }
  return true;
}

void X11OverlayWindow::SetProperties() {
  Display* d = display_;
  const char* title = "Halvex Overlay";
  XStoreName(d, window_, title);
  XChangeProperty(d, window_, Intern(d, "_NET_WM_NAME"), Intern(d, "UTF8_STRING"), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(title),
                  static_cast<int>(std::char_traits<char>::length(title)));
  std::string name = "halvex";
  std::string klass = "HalvexOverlayWindow";
  XClassHint hint{name.data(), klass.data()};
  XSetClassHint(d, window_, &hint);
  XWMHints wm{};
  wm.flags = InputHint;
  wm.input = False;  // never given the keyboard
  XSetWMHints(d, window_, &wm);

  const Atom type = Intern(d, "_NET_WM_WINDOW_TYPE_NOTIFICATION");
  XChangeProperty(d, window_, Intern(d, "_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&type), 1);
  const Atom states[] = {Intern(d, "_NET_WM_STATE_ABOVE"), Intern(d, "_NET_WM_STATE_SKIP_TASKBAR"),
                         Intern(d, "_NET_WM_STATE_SKIP_PAGER")};
  XChangeProperty(d, window_, Intern(d, "_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(states), 3);
  const long pid = static_cast<long>(getpid());
  XChangeProperty(d, window_, Intern(d, "_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  const long mark = 1;
  XChangeProperty(d, window_, Intern(d, x11::kExcludeFromCaptureAtom), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&mark), 1);
}

void X11OverlayWindow::Destroy() {
  kept_.reset();
  if (display_) {
    x11::ErrorTrap trap(display_);
    if (gc_) XFreeGC(display_, gc_);
    if (window_) XDestroyWindow(display_, window_);
    if (colormap_) XFreeColormap(display_, colormap_);
    trap.Sync();
    XCloseDisplay(display_);
  }
  display_ = nullptr;
  window_ = 0;
  gc_ = nullptr;
  colormap_ = 0;
  shown_ = false;
}

int X11OverlayWindow::ConnectionFd() const {
  return display_ ? ConnectionNumber(display_) : -1;
}

std::optional<int64_t> X11OverlayWindow::MsUntilTimer() const {
  if (!timerElapsed_) return std::nullopt;
  const int64_t left = timerDeadline_ - NowNs();
  return left <= 0 ? 0 : (left + 999'999) / 1'000'000;
}

void X11OverlayWindow::Pump() {
  if (!display_) return;
  x11::ErrorTrap trap(display_);
  XFlush(display_);
  bool exposed = false;
  while (XPending(display_) > 0) {
    XEvent ev;
    XNextEvent(display_, &ev);
    if (ev.type == Expose && ev.xexpose.window == window_) exposed = true;
  }
  if (exposed) PutPicture();
  if (timerElapsed_ && NowNs() >= timerDeadline_) {
    auto elapsed = std::move(timerElapsed_);
    timerElapsed_ = nullptr;
    elapsed();
  }
  XFlush(display_);
}

void X11OverlayWindow::Sync() {
  if (display_) XSync(display_, False);
}

void X11OverlayWindow::Place(const Rect& bounds) {
  if (!display_ || bounds.Empty()) return;
  const bool moved = bounds != bounds_;
  const bool resized = bounds.Width() != bounds_.Width() || bounds.Height() != bounds_.Height();
  x11::ErrorTrap trap(display_);
  if (moved || !shown_) kept_->Cover(bounds);
  bounds_ = bounds;
  if (moved) {
    XMoveResizeWindow(display_, window_, bounds.left, bounds.top,
                      static_cast<unsigned>(bounds.Width()), static_cast<unsigned>(bounds.Height()));
  }
  if (resized && painter_) Render();
  if (!shown_) {
    XMapRaised(display_, window_);
    shown_ = true;
  } else if (moved) {
    XRaiseWindow(display_, window_);
  }
  XFlush(display_);
}

void X11OverlayWindow::ShowNoActivate() {
  if (!display_ || shown_) return;
  x11::ErrorTrap trap(display_);
  kept_->Cover(bounds_);
  XMapRaised(display_, window_);
  shown_ = true;
  XFlush(display_);
}

void X11OverlayWindow::Hide() {
  if (!display_ || !shown_) return;
  XUnmapWindow(display_, window_);
  shown_ = false;
  XFlush(display_);
}

void X11OverlayWindow::RaiseTopMost() {
  if (!display_) return;
  XRaiseWindow(display_, window_);
  XFlush(display_);
}

void X11OverlayWindow::Repaint(Painter paint) {
  painter_ = std::move(paint);
  if (!display_) return;
  x11::ErrorTrap trap(display_);
  Render();
  XFlush(display_);
}

void X11OverlayWindow::Render() {
  CairoCanvas canvas(bounds_.Width(), bounds_.Height());
  if (painter_) painter_(canvas);
  cairo_surface_t* surface = canvas.Surface();
  pixels_ = MakeBadgePixels(cairo_image_surface_get_data(surface),
                            cairo_image_surface_get_stride(surface), canvas.Width(),
                            canvas.Height(), overlay::kKeyColor, argb_ ? kBadgeAlpha : 255);
  std::vector<XRectangle> rects;
  rects.reserve(pixels_.shape.size());
  for (const Rect& r : pixels_.shape) {
    rects.push_back(XRectangle{static_cast<short>(r.left), static_cast<short>(r.top),
                               static_cast<unsigned short>(r.Width()),
                               static_cast<unsigned short>(r.Height())});
  }
  XShapeCombineRectangles(display_, window_, ShapeBounding, 0, 0, rects.data(),
                          static_cast<int>(rects.size()), ShapeSet, YXBanded);
  PutPicture();
}

void X11OverlayWindow::PutPicture() {
  if (pixels_.width != bounds_.Width() || pixels_.height != bounds_.Height()) {
    if (painter_) Render();
    return;
  }
  const int w = pixels_.width, h = pixels_.height;
  XImage* image = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0,
                               nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  if (!image) return;
  std::vector<char> data(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(h));
  image->data = data.data();
  const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                      visual_->red_mask == 0xff0000 && visual_->green_mask == 0xff00 &&
                      visual_->blue_mask == 0xff;
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = pixels_.argb.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
    if (direct) {
      std::memcpy(data.data() + static_cast<size_t>(y) * image->bytes_per_line, src,
                  static_cast<size_t>(w) * 4);
      continue;
    }
    for (int x = 0; x < w; ++x) {
      const uint32_t p = src[x];
      XPutPixel(image, x, y,
                Channel((p >> 16) & 0xff, visual_->red_mask) |
                    Channel((p >> 8) & 0xff, visual_->green_mask) |
                    Channel(p & 0xff, visual_->blue_mask));
    }
  }
  XPutImage(display_, window_, gc_, image, 0, 0, 0, 0, static_cast<unsigned>(w),
            static_cast<unsigned>(h));
  image->data = nullptr;  // the vector owns the pixels
  XDestroyImage(image);
}

void X11OverlayWindow::StartHideTimer(int ms, std::function<void()> elapsed) {
  timerElapsed_ = std::move(elapsed);
  timerDeadline_ = NowNs() + static_cast<int64_t>(ms) * 1'000'000;
}

void X11OverlayWindow::StopHideTimer() { timerElapsed_ = nullptr; }

}  // namespace halvex
