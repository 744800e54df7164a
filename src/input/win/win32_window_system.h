#pragma once
// IWindowSystem over Win32. The application user model id needs COM on the calling thread (the
// program's main thread initialises it); without it that one query answers empty.
#include "input/window_system.h"

namespace halvex {

class Win32WindowSystem final : public IWindowSystem {
 public:
  WindowId ForegroundWindow() override;
  bool IsWindow(WindowId window) override;
  bool IsVisible(WindowId window) override;
  bool IsMinimized(WindowId window) override;
  bool IsMaximized(WindowId window) override;
  bool IsToolWindow(WindowId window) override;
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
};

// The name from a file's version resource (same rule as VersionInfoName).
std::optional<std::string> VersionInfoNameOfFile(const std::filesystem::path& file);

}  // namespace halvex
