#include "capture/linux/x11_screen_source.h"

#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <chrono>

#include "core/linux/native_picture.h"

namespace halvex {
namespace {

using Clock = std::chrono::steady_clock;

std::string AtomName(Display* d, Atom atom) {
  if (atom == None) return {};
  char* name = XGetAtomName(d, atom);
  if (!name) return {};
  std::string s = name;
  XFree(name);
  return s;
}

}  // namespace

X11ScreenSource::X11ScreenSource(std::string displayName) : displayName_(std::move(displayName)) {}

X11ScreenSource::~X11ScreenSource() { Close(); }

bool X11ScreenSource::FindOutput() {
  Display* d = display_.get();
  XWindowAttributes attrs{};
  if (!XGetWindowAttributes(d, root_, &attrs)) return false;
  visual_ = attrs.visual;
  depth_ = attrs.depth;
  output_ = OutputInfo{"screen", Rect{0, 0, attrs.width, attrs.height}};

  int eventBase = 0, errorBase = 0;
  if (!XRRQueryExtension(d, &eventBase, &errorBase)) return true;
  randrEvent_ = eventBase;
  XRRSelectInput(d, root_, RRScreenChangeNotifyMask);
  int count = 0;
  // The server lists the primary monitor first.
  XRRMonitorInfo* monitors = XRRGetMonitors(d, root_, True, &count);
  if (monitors && count > 0) {
    const XRRMonitorInfo& m = monitors[0];
    const Rect r{m.x, m.y, m.x + m.width, m.y + m.height};
    const Rect screen = output_.desktop;
    // A monitor reaching outside the root window could not be read; keep the whole root then.
    if (!r.Empty() && r.left >= 0 && r.top >= 0 && r.right <= screen.right &&
        r.bottom <= screen.bottom) {
      const std::string name = AtomName(d, m.name);
      output_ = OutputInfo{name.empty() ? "screen" : name, r};
    }
  }
  if (monitors) XRRFreeMonitors(monitors);
  return true;
}

bool X11ScreenSource::Open() {
  Close();
  error_ = 0;
  display_ = x11::OpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  if (!display_) {
    error_ = x11::kErrorNoDisplay;
    return false;
  }
  Display* d = display_.get();
  int damageError = 0;
  if (!XShmQueryExtension(d) || !XDamageQueryExtension(d, &damageEvent_, &damageError)) {
    error_ = x11::kErrorNoExtension;
    Close();
    return false;
  }
  root_ = DefaultRootWindow(d);
  if (!FindOutput()) {
    error_ = x11::kErrorNoDisplay;
    Close();
    return false;
  }
  x11::ErrorTrap trap(d);
  damage_ = XDamageCreate(d, root_, XDamageReportNonEmpty);
  if (trap.Sync()) {
    damage_ = 0;
    error_ = trap.ErrorCode();
    Close();
    return false;
  }
  pool_ = std::make_unique<x11::ShmImagePool>(d);
  excluded_ = std::make_unique<x11::ExcludedWindows>(d, root_);
  // A first picture even when nothing moves, as a fresh duplication gives the current desktop.
  damaged_ = true;
  changed_ = false;
  return true;
}

void X11ScreenSource::Close() {
  if (display_) {
    x11::ErrorTrap trap(display_.get());
    if (pool_) pool_->Release();
    if (damage_) XDamageDestroy(display_.get(), damage_);
    trap.Sync();
  }
  pool_.reset();
  excluded_.reset();
  damage_ = 0;
  display_.reset();
  damaged_ = false;
  changed_ = false;
}

bool X11ScreenSource::DrainEvents() {
  Display* d = display_.get();
  bool damaged = false;
  while (XPending(d) > 0) {
    XEvent ev;
    XNextEvent(d, &ev);
    if (ev.type == damageEvent_ + XDamageNotify) {
      damaged = true;
    } else if (randrEvent_ >= 0 && ev.type == randrEvent_ + RRScreenChangeNotify) {
      XRRUpdateConfiguration(&ev);
      changed_ = true;
    }
  }
  return damaged;
}

bool X11ScreenSource::WaitForEvents(int timeoutMs) {
  pollfd fd{ConnectionNumber(display_.get()), POLLIN, 0};
  const int r = poll(&fd, 1, timeoutMs < 0 ? 0 : timeoutMs);
  if (r > 0 && (fd.revents & (POLLERR | POLLHUP))) {
    error_ = x11::kErrorConnection;
    return false;
  }
  return true;
}

IScreenSource::Acquire X11ScreenSource::AcquireNext(int timeoutMs, bool keep, Picture& picture) {
  if (!display_ || !pool_) return Acquire::AccessLost;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  Display* d = display_.get();
  // Errors of earlier requests without a reply arrive while reading events.
  x11::ErrorTrap trap(d);
  XFlush(d);
  for (;;) {
    if (DrainEvents()) damaged_ = true;
    if (changed_) return Acquire::AccessLost;  // the monitor layout changed: open again
    if (damaged_) break;
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Acquire::Timeout;
    if (!WaitForEvents(static_cast<int>(left))) return Acquire::Error;
  }

  // Reset the damage before reading, so anything drawn during the read is reported next time.
  damaged_ = false;
  XDamageSubtract(d, damage_, None, None);
  if (!keep) {
    XFlush(d);
    return Acquire::Timeout;
  }
  CpuPicture image;
  if (!pool_->Grab(root_, output_.desktop.left, output_.desktop.top, output_.Width(),
                   output_.Height(), visual_, depth_, image)) {
    error_ = pool_->LastError();
    // BadMatch: the area left the root window (the screen shrank).
    return error_ == BadMatch ? Acquire::AccessLost : Acquire::Error;
  }
  excluded_->Erase(output_.desktop, image);
  picture = WrapImage(std::move(image));
  return Acquire::NewPicture;
}

}  // namespace halvex
