#include "capture/linux/x11_window_source.h"

#include <X11/Xatom.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdio>

#include "core/linux/native_picture.h"
#include "core/log.h"
#include "core/text.h"

namespace halvex {
namespace {

// ICCCM WM_STATE value of a minimised window.
constexpr long kIconicState = 3;

bool IsGoneError(int e) { return e == BadWindow || e == BadDrawable; }

}  // namespace

X11WindowSource::X11WindowSource(std::string displayName) : displayName_(std::move(displayName)) {}

X11WindowSource::~X11WindowSource() {
  Stop();
  pool_.reset();
  display_.reset();
}

bool X11WindowSource::Initialize() {
  Stop();
  pool_.reset();
  display_ = x11::OpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  if (!display_) {
    log::Line("[WGC] No se pudo abrir la conexion con el servidor X; captura de ventana no "
              "disponible.");
    return false;
  }
  Display* d = display_.get();
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  // Naming a window's pixmap needs Composite 0.2.
  const bool composite = XCompositeQueryExtension(d, &eventBase, &errorBase) &&
                         XCompositeQueryVersion(d, &major, &minor) &&
                         (major > 0 || minor >= 2);
  if (!composite) {
    log::Line("[WGC] La extension Composite 0.2 no esta disponible; captura de ventana no "
              "disponible.");
    display_.reset();
    return false;
  }
  if (!XShmQueryExtension(d) || !XDamageQueryExtension(d, &damageEvent_, &errorBase)) {
    log::Line("[WGC] Faltan las extensiones MIT-SHM o DAMAGE; captura de ventana no disponible.");
    display_.reset();
    return false;
  }
  wmState_ = XInternAtom(d, "WM_STATE", False);
  pool_ = std::make_unique<x11::ShmImagePool>(d);
  return true;
}

bool X11WindowSource::Start(WindowId window) {
  Stop();
  if (!display_ || window == 0) return false;
  Display* d = display_.get();
  const Window w = static_cast<Window>(window);

  x11::ErrorTrap trap(d);
  XWindowAttributes attrs{};
  if (!XGetWindowAttributes(d, w, &attrs) || trap.Failed()) return false;
  if (attrs.c_class == InputOnly) return false;

  window_ = w;
  XSelectInput(d, w, StructureNotifyMask | PropertyChangeMask);
  XCompositeRedirectWindow(d, w, CompositeRedirectAutomatic);
  damage_ = XDamageCreate(d, w, XDamageReportNonEmpty);
  if (trap.Sync()) {
    const int e = trap.ErrorCode();
    if (!IsGoneError(e)) {
      log::Line("[WGC] XCompositeRedirectWindow fallo (ventana X11=0x" + text::LowerHex(w) +
                ", error=" + std::to_string(e) + ")");
    }
    Stop();  // destroying a damage object that was never made is a trapped, harmless error
    return false;
  }
  visual_ = attrs.visual;
  depth_ = attrs.depth;
  width_ = attrs.width;
  height_ = attrs.height;
  border_ = attrs.border_width;
  viewable_ = attrs.map_state == IsViewable;
  iconic_ = ReadIconic();
  dirty_ = true;  // the first poll gives the current contents
  gone_ = false;
  running_ = true;
  log::Line("[WGC] Captura de ventana iniciada: " + std::to_string(width_) + "x" +
            std::to_string(height_) + " (ventana X11=0x" + text::LowerHex(w) + ")");
  return true;
}

void X11WindowSource::Stop() {
  if (display_ && window_) {
    Display* d = display_.get();
    x11::ErrorTrap trap(d);
    FreePixmap();
    if (pool_) pool_->Release();
    if (!gone_) {
      // The window may be gone by now: the errors are recorded and dropped.
      if (damage_) XDamageDestroy(d, damage_);
      XCompositeUnredirectWindow(d, window_, CompositeRedirectAutomatic);
      XSelectInput(d, window_, NoEventMask);
    }
    trap.Sync();
    // Events of the old window must not reach the next capture.
    XEvent ev;
    while (XPending(d) > 0) XNextEvent(d, &ev);
  }
  running_ = false;
  window_ = 0;
  damage_ = 0;
  width_ = height_ = border_ = 0;
  viewable_ = iconic_ = dirty_ = gone_ = false;
}

bool X11WindowSource::ReadIconic() {
  Display* d = display_.get();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int r = XGetWindowProperty(d, window_, wmState_, 0, 2, False, wmState_, &type, &format,
                                   &count, &after, &data);
  bool iconic = false;
  if (r == Success && data && format == 32 && count >= 1) {
    iconic = reinterpret_cast<long*>(data)[0] == kIconicState;
  }
  if (data) XFree(data);
  return iconic;
}

void X11WindowSource::FreePixmap() {
  if (pixmap_ && display_) XFreePixmap(display_.get(), pixmap_);
  pixmap_ = 0;
  pixmapWidth_ = pixmapHeight_ = 0;
}

void X11WindowSource::Vanished() {
  log::Line("[WGC] La ventana capturada ya no existe (ventana X11=0x" + text::LowerHex(window_) +
            ")");
  gone_ = true;
  Stop();
}

void X11WindowSource::DrainEvents() {
  Display* d = display_.get();
  while (XPending(d) > 0) {
    XEvent ev;
    XNextEvent(d, &ev);
    if (ev.type == damageEvent_ + XDamageNotify) {
      dirty_ = true;
      continue;
    }
    switch (ev.type) {
      case ConfigureNotify:
        if (ev.xconfigure.window != window_) break;
        if (ev.xconfigure.width != width_ || ev.xconfigure.height != height_ ||
            ev.xconfigure.border_width != border_) {
          // Composite gives a resized window a new pixmap.
          width_ = ev.xconfigure.width;
          height_ = ev.xconfigure.height;
          border_ = ev.xconfigure.border_width;
          FreePixmap();
          dirty_ = true;
        }
        break;
      case MapNotify:
      case UnmapNotify: {
        // Each mapping gets a pixmap of its own; an unmapped window has none to show.
        const bool mapped = ev.type == MapNotify;
        if ((mapped ? ev.xmap.window : ev.xunmap.window) != window_) break;
        viewable_ = mapped;
        FreePixmap();
        if (mapped) dirty_ = true;
        break;
      }
      case DestroyNotify:
        if (ev.xdestroywindow.window == window_) gone_ = true;
        break;
      case PropertyNotify:
        if (ev.xproperty.window == window_ && ev.xproperty.atom == wmState_) {
          iconic_ = ReadIconic();
          dirty_ = true;
        }
        break;
      default:
        break;
    }
  }
}

bool X11WindowSource::EnsurePixmap() {
  if (pixmap_) return true;
  Display* d = display_.get();
  x11::ErrorTrap trap(d);
  const Pixmap p = XCompositeNameWindowPixmap(d, window_);
  if (trap.Sync()) {
    if (IsGoneError(trap.ErrorCode())) gone_ = true;
    return false;  // BadMatch: not viewable right now; a MapNotify will follow
  }
  // The pixmap has the size the window had when it was named, whatever events are still queued.
  Window root = 0;
  int x = 0, y = 0;
  unsigned w = 0, h = 0, border = 0, depth = 0;
  if (!XGetGeometry(d, p, &root, &x, &y, &w, &h, &border, &depth) || trap.Failed() ||
      static_cast<int>(w) <= 2 * border_ || static_cast<int>(h) <= 2 * border_) {
    XFreePixmap(d, p);
    return false;
  }
  pixmap_ = p;
  pixmapWidth_ = static_cast<int>(w) - 2 * border_;
  pixmapHeight_ = static_cast<int>(h) - 2 * border_;
  return true;
}

std::optional<Picture> X11WindowSource::AcquireLatest() {
  if (!running_ || !display_) return std::nullopt;
  // Errors of earlier requests without a reply arrive while reading events.
  x11::ErrorTrap trap(display_.get());
  DrainEvents();
  if (gone_) {
    Vanished();
    return std::nullopt;
  }
  if (!viewable_ || iconic_ || width_ < 1 || height_ < 1 || !dirty_) return std::nullopt;

  Display* d = display_.get();
  dirty_ = false;
  XDamageSubtract(d, damage_, None, None);
  if (!EnsurePixmap()) {
    if (gone_) Vanished();
    return std::nullopt;
  }
  CpuPicture image;
  if (!pool_->Grab(pixmap_, border_, border_, pixmapWidth_, pixmapHeight_, visual_, depth_,
                   image)) {
    if (pool_->LastError() != x11::kErrorPixelFormat) {
      // An unmap or resize whose event is still on its way; name the pixmap again next time.
      FreePixmap();
      dirty_ = true;
    }
    return std::nullopt;
  }
  return WrapImage(std::move(image));
}

}  // namespace halvex
