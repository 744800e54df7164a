#pragma once
// The window system on X11 (EWMH properties of the window manager, Xlib queries, XRandR) and
// /proc. Windows are client windows (what _NET_ACTIVE_WINDOW and _NET_CLIENT_LIST name), not the
// window manager's frames.
//
// Wine and Proton games: /proc/PID/exe names the Wine loader, so the Windows program is taken
// from the process's command line ("C:\...\game.exe"), found under its WINEPREFIX (or its
// current directory), and reported as the image path. The executable name of such a game is
// therefore "game.exe", as on Windows, and exclusions written for Windows work unchanged. When
// the file cannot be found the path is the Windows path as Wine gave it (its file name is still
// right). The version-information name comes from the .exe's version resource; for a native
// program from its desktop entry. Like any Xlib connection, one object serves one thread.
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input/window_system.h"

// Xlib's Display, declared without its header (whose macros would reach every includer).
struct _XDisplay;

namespace halvex {

class X11WindowSystem final : public IWindowSystem {
 public:
  // Opens its own connection (`displayName` null: $DISPLAY); nullptr when there is no display.
  static std::unique_ptr<X11WindowSystem> Open(const char* displayName = nullptr);
  ~X11WindowSystem() override;
  X11WindowSystem(const X11WindowSystem&) = delete;
  X11WindowSystem& operator=(const X11WindowSystem&) = delete;

  _XDisplay* XDisplay() const { return display_; }

  WindowId ForegroundWindow() override;
  bool IsWindow(WindowId window) override;
  bool IsVisible(WindowId window) override;
  bool IsMinimized(WindowId window) override;
  bool IsMaximized(WindowId window) override;
  bool IsToolWindow(WindowId window) override;
  bool IsDesktopShellWindow(WindowId window) override;
  WindowId Owner(WindowId window) override;
  std::optional<Rect> WindowRect(WindowId window) override;
  std::optional<Rect> ClientRectOnScreen(WindowId window) override;
  std::string ClassName(WindowId window) override;
  std::string Title(WindowId window) override;
  ProcessId WindowProcess(WindowId window) override;
  std::vector<WindowId> TopLevelWindows() override;
  std::vector<WindowId> ChildWindows(WindowId window) override;
  std::string AppUserModelId(WindowId window) override;
  int RefreshRateHz(WindowId window) override;
  std::optional<Rect> NearestMonitorRect(WindowId window) override;

  ProcessId OwnProcess() override;
  std::optional<std::filesystem::path> ProcessImagePath(ProcessId process) override;
  bool ProcessAlive(ProcessId process) override;
  std::vector<std::pair<ProcessId, ProcessId>> ProcessParents() override;
  std::optional<std::string> VersionInfoName(ProcessId process) override;

 private:
  explicit X11WindowSystem(_XDisplay* display);
  struct Atoms;
  struct Property;
  using XWindow = unsigned long;  // Xlib's Window and Atom
  using XAtom = unsigned long;

  std::optional<Property> GetProperty(XWindow window, XAtom property, XAtom type, long maxLongs);
  std::vector<unsigned long> GetCardinals(XWindow window, XAtom property, XAtom type,
                                          long maxLongs = 1024);
  std::vector<XAtom> GetAtoms(XWindow window, XAtom property);
  bool HasState(XWindow window, XAtom state);
  bool HasType(XWindow window, std::initializer_list<XAtom> types);
  long WmState(XWindow window);  // -1 when unset

  _XDisplay* display_;
  XWindow root_;
  std::unique_ptr<Atoms> atoms_;
  bool randr_ = false;

  // The friendly name of a process, looked up once per (process, image).
  std::map<std::pair<ProcessId, std::string>, std::optional<std::string>> names_;
};

}  // namespace halvex
