#include "input/linux/x11_window_system.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "input/linux/desktop_entry.h"
#include "input/linux/proc_process.h"
#include "input/linux/x11_error_trap.h"
#include "input/pe_version_resource.h"

namespace halvex {
namespace {

constexpr size_t kMaxChildWindows = 4096;
constexpr size_t kMaxCachedNames = 64;
constexpr long kNormalState = 1;
constexpr long kIconicState = 3;

Window ToWindow(WindowId id) { return static_cast<Window>(id); }

std::string Latin1ToUtf8(const unsigned char* bytes, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char c = bytes[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

}  // namespace

struct X11WindowSystem::Atoms {
  explicit Atoms(Display* d) {
    const auto get = [d](const char* name) { return XInternAtom(d, name, False); };
    activeWindow = get("_NET_ACTIVE_WINDOW");
    clientList = get("_NET_CLIENT_LIST");
    clientListStacking = get("_NET_CLIENT_LIST_STACKING");
    wmPid = get("_NET_WM_PID");
    wmName = get("_NET_WM_NAME");
    utf8String = get("UTF8_STRING");
    wmState = get("_NET_WM_STATE");
    hidden = get("_NET_WM_STATE_HIDDEN");
    maximizedVert = get("_NET_WM_STATE_MAXIMIZED_VERT");
    maximizedHorz = get("_NET_WM_STATE_MAXIMIZED_HORZ");
    skipTaskbar = get("_NET_WM_STATE_SKIP_TASKBAR");
    windowType = get("_NET_WM_WINDOW_TYPE");
    typeDesktop = get("_NET_WM_WINDOW_TYPE_DESKTOP");
    typeDock = get("_NET_WM_WINDOW_TYPE_DOCK");
    typeToolbar = get("_NET_WM_WINDOW_TYPE_TOOLBAR");
    typeMenu = get("_NET_WM_WINDOW_TYPE_MENU");
    typeUtility = get("_NET_WM_WINDOW_TYPE_UTILITY");
    typeSplash = get("_NET_WM_WINDOW_TYPE_SPLASH");
    typeDropdownMenu = get("_NET_WM_WINDOW_TYPE_DROPDOWN_MENU");
    typePopupMenu = get("_NET_WM_WINDOW_TYPE_POPUP_MENU");
    typeTooltip = get("_NET_WM_WINDOW_TYPE_TOOLTIP");
    typeNotification = get("_NET_WM_WINDOW_TYPE_NOTIFICATION");
    frameExtents = get("_NET_FRAME_EXTENTS");
    icccmState = get("WM_STATE");
  }
  Atom activeWindow, clientList, clientListStacking, wmPid, wmName, utf8String, wmState, hidden,
      maximizedVert, maximizedHorz, skipTaskbar, windowType, typeDesktop, typeDock, typeToolbar,
      typeMenu, typeUtility, typeSplash, typeDropdownMenu, typePopupMenu, typeTooltip,
      typeNotification, frameExtents, icccmState;
};

// One property value, freed with XFree.
struct X11WindowSystem::Property {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  std::unique_ptr<unsigned char, int (*)(void*)> data{nullptr, XFree};
};

std::unique_ptr<X11WindowSystem> X11WindowSystem::Open(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (display == nullptr) return nullptr;
  return std::unique_ptr<X11WindowSystem>(new X11WindowSystem(display));
}

X11WindowSystem::X11WindowSystem(Display* display)
    : display_(display), root_(DefaultRootWindow(display)), atoms_(new Atoms(display)) {
  x11::InstallErrorHandler();
  int eventBase = 0, errorBase = 0;
  randr_ = XRRQueryExtension(display_, &eventBase, &errorBase) != 0;
}

X11WindowSystem::~X11WindowSystem() { XCloseDisplay(display_); }

std::optional<X11WindowSystem::Property> X11WindowSystem::GetProperty(Window window, Atom property,
                                                                      Atom type, long maxLongs) {
  if (window == None) return std::nullopt;
  x11::ErrorTrap trap(display_);
  Property p;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display_, window, property, 0, maxLongs, False, type,
                                        &p.type, &p.format, &p.count, &after, &data);
  p.data.reset(data);
  if (status != Success || trap.Failed() || p.type == None || data == nullptr) return std::nullopt;
  if (type != AnyPropertyType && p.type != type) return std::nullopt;
  return p;
}

std::vector<unsigned long> X11WindowSystem::GetCardinals(Window window, Atom property, Atom type,
                                                         long maxLongs) {
  const auto p = GetProperty(window, property, type, maxLongs);
  if (!p || p->format != 32) return {};
  // Xlib hands 32-bit items as longs.
  const auto* items = reinterpret_cast<const unsigned long*>(p->data.get());
  return std::vector<unsigned long>(items, items + p->count);
}

std::vector<Atom> X11WindowSystem::GetAtoms(Window window, Atom property) {
  const auto values = GetCardinals(window, property, XA_ATOM);
  return std::vector<Atom>(values.begin(), values.end());
}

bool X11WindowSystem::HasState(Window window, Atom state) {
  const auto states = GetAtoms(window, atoms_->wmState);
  return std::find(states.begin(), states.end(), state) != states.end();
}

bool X11WindowSystem::HasType(Window window, std::initializer_list<Atom> types) {
  for (const Atom t : GetAtoms(window, atoms_->windowType)) {
    if (std::find(types.begin(), types.end(), t) != types.end()) return true;
  }
  return false;
}

long X11WindowSystem::WmState(Window window) {
  const auto values = GetCardinals(window, atoms_->icccmState, atoms_->icccmState, 2);
  return values.empty() ? -1 : static_cast<long>(values[0]);
}

WindowId X11WindowSystem::ForegroundWindow() {
  const auto active = GetCardinals(root_, atoms_->activeWindow, XA_WINDOW, 1);
  if (!active.empty()) return active[0];
  // No EWMH window manager: the input focus, raised to its top-level window.
  x11::ErrorTrap trap(display_);
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  if (focus == None || focus == PointerRoot || focus == root_) return 0;
  for (int depth = 0; depth < 64; ++depth) {
    Window rootReturn = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, focus, &rootReturn, &parent, &children, &count) || trap.Failed()) {
      return 0;
    }
    if (children != nullptr) XFree(children);
    if (parent == root_ || parent == None) return focus;
    focus = parent;
  }
  return 0;
}

bool X11WindowSystem::IsWindow(WindowId window) {
  if (window == 0) return false;
  x11::ErrorTrap trap(display_);
  XWindowAttributes attributes;
  return XGetWindowAttributes(display_, ToWindow(window), &attributes) != 0 && !trap.Failed();
}

bool X11WindowSystem::IsVisible(WindowId window) {
  if (window == 0) return false;
  // Like a shown window on Windows: mapped, or managed and iconified (the manager unmaps those).
  const long state = WmState(ToWindow(window));
  if (state == kNormalState || state == kIconicState) return true;
  x11::ErrorTrap trap(display_);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, ToWindow(window), &attributes) == 0 || trap.Failed()) {
    return false;
  }
  return attributes.map_state != IsUnmapped;
}

bool X11WindowSystem::IsMinimized(WindowId window) {
  if (window == 0) return false;
  return WmState(ToWindow(window)) == kIconicState || HasState(ToWindow(window), atoms_->hidden);
}

bool X11WindowSystem::IsMaximized(WindowId window) {
  if (window == 0) return false;
  const auto states = GetAtoms(ToWindow(window), atoms_->wmState);
  const auto has = [&](Atom a) {
    return std::find(states.begin(), states.end(), a) != states.end();
  };
  return has(atoms_->maximizedVert) && has(atoms_->maximizedHorz);
}

bool X11WindowSystem::IsToolWindow(WindowId window) {
  if (window == 0) return false;
  const Atoms& a = *atoms_;
  // What stays off the task bar, as a tool window does on Windows.
  return HasType(ToWindow(window),
                 {a.typeDesktop, a.typeDock, a.typeToolbar, a.typeMenu, a.typeUtility, a.typeSplash,
                  a.typeDropdownMenu, a.typePopupMenu, a.typeTooltip, a.typeNotification}) ||
         HasState(ToWindow(window), a.skipTaskbar);
}

bool X11WindowSystem::IsDesktopShellWindow(WindowId window) {
  if (window == 0) return false;
  return HasType(ToWindow(window), {atoms_->typeDesktop, atoms_->typeDock});
}

WindowId X11WindowSystem::Owner(WindowId window) {
  if (window == 0) return 0;
  x11::ErrorTrap trap(display_);
  Window owner = None;
  if (XGetTransientForHint(display_, ToWindow(window), &owner) == 0 || trap.Failed()) return 0;
  return owner;
}

std::optional<Rect> X11WindowSystem::ClientRectOnScreen(WindowId window) {
  if (window == 0) return std::nullopt;
  x11::ErrorTrap trap(display_);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display_, ToWindow(window), &attributes) == 0 || trap.Failed()) {
    return std::nullopt;
  }
  int x = 0, y = 0;
  Window child = None;
  if (!XTranslateCoordinates(display_, ToWindow(window), root_, 0, 0, &x, &y, &child) ||
      trap.Failed()) {
    return std::nullopt;
  }
  return Rect{x, y, x + attributes.width, y + attributes.height};
}

std::optional<Rect> X11WindowSystem::WindowRect(WindowId window) {
  auto rect = ClientRectOnScreen(window);
  if (!rect) return std::nullopt;
  // left, right, top, bottom borders drawn by the window manager
  const auto extents = GetCardinals(ToWindow(window), atoms_->frameExtents, XA_CARDINAL, 4);
  if (extents.size() == 4) {
    const auto border = [](unsigned long v) { return static_cast<int>(std::min(v, 1UL << 16)); };
    rect->left -= border(extents[0]);
    rect->right += border(extents[1]);
    rect->top -= border(extents[2]);
    rect->bottom += border(extents[3]);
  }
  return rect;
}

std::string X11WindowSystem::ClassName(WindowId window) {
  if (window == 0) return {};
  x11::ErrorTrap trap(display_);
  XClassHint hint{nullptr, nullptr};
  if (XGetClassHint(display_, ToWindow(window), &hint) == 0 || trap.Failed()) return {};
  std::string name = hint.res_class != nullptr ? hint.res_class : "";
  if (hint.res_name != nullptr) XFree(hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  return name;
}

std::string X11WindowSystem::Title(WindowId window) {
  if (window == 0) return {};
  if (const auto p = GetProperty(ToWindow(window), atoms_->wmName, atoms_->utf8String, 4096)) {
    if (p->format == 8 && p->count > 0) {
      return std::string(reinterpret_cast<const char*>(p->data.get()), p->count);
    }
  }
  const auto p = GetProperty(ToWindow(window), XA_WM_NAME, AnyPropertyType, 4096);
  if (!p || p->format != 8 || p->count == 0) return {};
  if (p->type == XA_STRING) return Latin1ToUtf8(p->data.get(), p->count);
  if (p->type == atoms_->utf8String) {
    return std::string(reinterpret_cast<const char*>(p->data.get()), p->count);
  }
  // Compound text: let Xlib convert it.
  XTextProperty property{p->data.get(), p->type, p->format, p->count};
  char** list = nullptr;
  int count = 0;
  std::string title;
  if (Xutf8TextPropertyToTextList(display_, &property, &list, &count) >= Success && count > 0 &&
      list != nullptr) {
    title = list[0];
  }
  if (list != nullptr) XFreeStringList(list);
  return title;
}

ProcessId X11WindowSystem::WindowProcess(WindowId window) {
  if (window == 0) return 0;
  const auto pid = GetCardinals(ToWindow(window), atoms_->wmPid, XA_CARDINAL, 1);
  return pid.empty() || pid[0] > 0xFFFFFFFFUL ? 0 : static_cast<ProcessId>(pid[0]);
}

std::vector<WindowId> X11WindowSystem::TopLevelWindows() {
  // Top of the stack first, as the Windows enumeration gives them.
  auto windows = GetCardinals(root_, atoms_->clientListStacking, XA_WINDOW, 65536);
  if (!windows.empty()) return std::vector<WindowId>(windows.rbegin(), windows.rend());
  windows = GetCardinals(root_, atoms_->clientList, XA_WINDOW, 65536);
  if (!windows.empty()) return std::vector<WindowId>(windows.begin(), windows.end());
  // No window manager: the root's children, which XQueryTree lists bottom first.
  x11::ErrorTrap trap(display_);
  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  std::vector<WindowId> result;
  if (XQueryTree(display_, root_, &rootReturn, &parent, &children, &count) && !trap.Failed()) {
    for (unsigned int i = count; i > 0; --i) result.push_back(children[i - 1]);
  }
  if (children != nullptr) XFree(children);
  return result;
}

std::vector<WindowId> X11WindowSystem::ChildWindows(WindowId window) {
  std::vector<WindowId> result;
  if (window == 0) return result;
  x11::ErrorTrap trap(display_);
  std::vector<Window> pending{ToWindow(window)};
  while (!pending.empty() && result.size() < kMaxChildWindows) {
    const Window parentWindow = pending.back();
    pending.pop_back();
    Window rootReturn = None, parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, parentWindow, &rootReturn, &parent, &children, &count) ||
        trap.Failed()) {
      trap.Clear();  // this one vanished; its siblings may not have
      continue;
    }
    for (unsigned int i = 0; i < count && result.size() < kMaxChildWindows; ++i) {
      result.push_back(children[i]);
      pending.push_back(children[i]);
    }
    if (children != nullptr) XFree(children);
  }
  return result;
}

std::string X11WindowSystem::AppUserModelId(WindowId) { return {}; }

int X11WindowSystem::RefreshRateHz(WindowId window) {
  if (!randr_) return 0;
  const auto rect = WindowRect(window);
  if (!rect) return 0;
  x11::ErrorTrap trap(display_);
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display_, root_);
  if (resources == nullptr || trap.Failed()) {
    if (resources != nullptr) XRRFreeScreenResources(resources);
    return 0;
  }
  // The CRTC that shows the largest part of the window.
  long bestArea = 0;
  RRMode bestMode = None;
  for (int i = 0; i < resources->ncrtc; ++i) {
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(display_, resources, resources->crtcs[i]);
    if (crtc == nullptr) continue;
    if (crtc->mode != None) {
      const long w = std::min<long>(rect->right, crtc->x + static_cast<long>(crtc->width)) -
                     std::max<long>(rect->left, crtc->x);
      const long h = std::min<long>(rect->bottom, crtc->y + static_cast<long>(crtc->height)) -
                     std::max<long>(rect->top, crtc->y);
      const long area = w > 0 && h > 0 ? w * h : 0;
      if (area > bestArea || bestMode == None) {
        if (area > bestArea) bestArea = area;
        bestMode = crtc->mode;
      }
    }
    XRRFreeCrtcInfo(crtc);
  }
  int hz = 0;
  for (int i = 0; i < resources->nmode && bestMode != None; ++i) {
    const XRRModeInfo& mode = resources->modes[i];
    if (mode.id != bestMode) continue;
    double lines = mode.vTotal;
    if (mode.modeFlags & RR_DoubleScan) lines *= 2;
    if (mode.modeFlags & RR_Interlace) lines /= 2;
    if (mode.hTotal != 0 && lines > 0) {
      hz = static_cast<int>(std::lround(mode.dotClock / (mode.hTotal * lines)));
    }
  }
  XRRFreeScreenResources(resources);
  return trap.Failed() ? 0 : hz;
}

std::optional<Rect> X11WindowSystem::NearestMonitorRect(WindowId window) {
  const auto rect = WindowRect(window);
  if (!rect) return std::nullopt;
  const Rect screen{0, 0, DisplayWidth(display_, DefaultScreen(display_)),
                    DisplayHeight(display_, DefaultScreen(display_))};
  if (!randr_) return screen;
  x11::ErrorTrap trap(display_);
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(display_, root_, True, &count);
  if (monitors == nullptr || trap.Failed()) {
    if (monitors != nullptr) XRRFreeMonitors(monitors);
    return screen;
  }
  // The monitor showing the largest part of the window; when none shows any, the closest one.
  std::optional<Rect> best;
  long bestArea = 0;
  long bestDistance = 0;
  for (int i = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    if (m.width <= 0 || m.height <= 0) continue;
    const Rect monitor{m.x, m.y, m.x + m.width, m.y + m.height};
    const Rect common = Intersection(*rect, monitor);
    const long area = common.Empty() ? 0 : static_cast<long>(common.Width()) * common.Height();
    const long dx = std::max({0, monitor.left - rect->right, rect->left - monitor.right});
    const long dy = std::max({0, monitor.top - rect->bottom, rect->top - monitor.bottom});
    const long distance = dx * dx + dy * dy;
    if (!best || area > bestArea || (area == 0 && bestArea == 0 && distance < bestDistance)) {
      best = monitor;
      bestArea = area;
      bestDistance = distance;
    }
  }
  XRRFreeMonitors(monitors);
  return best ? best : screen;
}

ProcessId X11WindowSystem::OwnProcess() { return static_cast<ProcessId>(::getpid()); }

std::optional<std::filesystem::path> X11WindowSystem::ProcessImagePath(ProcessId process) {
  if (const auto wine = proc::WineProgramOf(process)) {
    return wine->unixPath.value_or(std::filesystem::path(wine->windowsPath));
  }
  return proc::ExecutablePath(process);
}

bool X11WindowSystem::ProcessAlive(ProcessId process) { return proc::IsAlive(process); }

std::vector<std::pair<ProcessId, ProcessId>> X11WindowSystem::ProcessParents() {
  return proc::ParentTable();
}

std::optional<std::string> X11WindowSystem::VersionInfoName(ProcessId process) {
  // Keyed by the image too: a reused process id may run another program.
  const auto image = ProcessImagePath(process);
  const auto exe = proc::ExecutablePath(process);
  if (!image || !exe) return std::nullopt;
  const auto key = std::make_pair(process, image->string());
  if (const auto it = names_.find(key); it != names_.end()) return it->second;

  std::optional<std::string> name;
  if (const auto wine = proc::WineProgramOf(process)) {
    if (wine->unixPath) name = pe::VersionNameFromFile(*wine->unixPath);
  } else {
    name = desktop::NameForExecutable(*exe, desktop::ApplicationDirectories());
  }
  if (names_.size() >= kMaxCachedNames) names_.clear();
  names_.emplace(key, name);
  return name;
}

}  // namespace halvex
