#pragma once
// What target detection, focus tracking and the crop of a windowed game ask of the window system.
// One implementation per platform (Win32; X11 + /proc); tests use a fake. Every query answers
// "no" (false, 0, empty, nullopt) when the window or process is gone or the call fails.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/rect.h"

namespace halvex {

// An HWND on Windows, an X11 Window id on Linux; 0 is no window.
using WindowId = uint64_t;
using ProcessId = uint32_t;

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;

  // Windows.
  virtual WindowId ForegroundWindow() = 0;
  virtual bool IsWindow(WindowId window) = 0;
  virtual bool IsVisible(WindowId window) = 0;
  virtual bool IsMinimized(WindowId window) = 0;
  virtual bool IsMaximized(WindowId window) = 0;
  virtual bool IsToolWindow(WindowId window) = 0;
  virtual WindowId Owner(WindowId window) = 0;
  // Outer rectangle in screen coordinates.
  virtual std::optional<Rect> WindowRect(WindowId window) = 0;
  // Client area in screen coordinates.
  virtual std::optional<Rect> ClientRectOnScreen(WindowId window) = 0;
  virtual std::string ClassName(WindowId window) = 0;  // UTF-8, as the system gives it
  virtual std::string Title(WindowId window) = 0;      // UTF-8
  virtual ProcessId WindowProcess(WindowId window) = 0;
  virtual std::vector<WindowId> TopLevelWindows() = 0;
  virtual std::vector<WindowId> ChildWindows(WindowId window) = 0;
  // The application user model id of a window (Windows shell property); empty elsewhere.
  virtual std::string AppUserModelId(WindowId window) = 0;
  // Refresh rate in Hz of the monitor showing `window` (0 when unknown).
  virtual int RefreshRateHz(WindowId window) = 0;
  // A window the desktop itself draws: the desktop background or a dock/panel (X11 window types).
  // Windows recognises those by class name instead, so the default says no.
  virtual bool IsDesktopShellWindow(WindowId /*window*/) { return false; }
  // Bounds of the monitor nearest `window` (the one showing most of it, else the closest one),
  // in screen coordinates; nullopt when unknown.
  virtual std::optional<Rect> NearestMonitorRect(WindowId /*window*/) { return std::nullopt; }

  // Processes.
  virtual ProcessId OwnProcess() = 0;
  virtual std::optional<std::filesystem::path> ProcessImagePath(ProcessId process) = 0;
  virtual bool ProcessAlive(ProcessId process) = 0;
  // Parent process of every running process, taken at one moment (a process snapshot).
  virtual std::vector<std::pair<ProcessId, ProcessId>> ProcessParents() = 0;
  // A friendly program name from the executable's version resource (ProductName, then
  // FileDescription), or on Linux the desktop entry's Name; nullopt when there is none.
  virtual std::optional<std::string> VersionInfoName(ProcessId process) = 0;
};

}  // namespace halvex
