#pragma once
// A window system held in tables, for tests of target detection, focus and window crops.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/window_system.h"

namespace halvex::testing {

struct FakeWindow {
  bool visible = true;
  bool minimized = false;
  bool maximized = false;
  bool tool = false;
  bool desktopShell = false;
  WindowId owner = 0;
  Rect rect{0, 0, 1920, 1080};
  std::optional<Rect> clientRect;  // the outer rectangle when unset
  std::string className = "GameWindow";
  std::string title = "Game";
  ProcessId process = 0;
  std::vector<WindowId> children;
  std::string appUserModelId;
  int refreshRateHz = 60;
};

struct FakeProcess {
  std::optional<std::filesystem::path> imagePath;
  ProcessId parent = 0;
  bool alive = true;
  std::optional<std::string> versionName;
};

class FakeWindowSystem : public IWindowSystem {
 public:
  std::map<WindowId, FakeWindow> windows;
  std::map<ProcessId, FakeProcess> processes;
  std::vector<WindowId> topLevelOrder;  // TopLevelWindows order; all windows when empty
  std::vector<Rect> monitors;  // none: the monitor is unknown
  WindowId foreground = 0;
  ProcessId ownProcess = 1;
  int processParentsCalls = 0;

  // A game-like window of a new process with the given image path.
  FakeWindow& AddWindow(WindowId id, ProcessId process, const std::string& imagePath = "") {
    FakeWindow& w = windows[id];
    w.process = process;
    if (!imagePath.empty()) processes[process].imagePath = std::filesystem::path(imagePath);
    return w;
  }

  WindowId ForegroundWindow() override { return foreground; }
  bool IsWindow(WindowId w) override { return windows.count(w) != 0; }
  bool IsVisible(WindowId w) override { return Get(w) && Get(w)->visible; }
  bool IsMinimized(WindowId w) override { return Get(w) && Get(w)->minimized; }
  bool IsMaximized(WindowId w) override { return Get(w) && Get(w)->maximized; }
  bool IsToolWindow(WindowId w) override { return Get(w) && Get(w)->tool; }
  bool IsDesktopShellWindow(WindowId w) override { return Get(w) && Get(w)->desktopShell; }
  WindowId Owner(WindowId w) override { return Get(w) ? Get(w)->owner : 0; }
  std::optional<Rect> WindowRect(WindowId w) override {
    if (!Get(w)) return std::nullopt;
    return Get(w)->rect;
  }
  std::optional<Rect> ClientRectOnScreen(WindowId w) override {
    if (!Get(w)) return std::nullopt;
    return Get(w)->clientRect.value_or(Get(w)->rect);
  }
  std::string ClassName(WindowId w) override { return Get(w) ? Get(w)->className : ""; }
  std::string Title(WindowId w) override { return Get(w) ? Get(w)->title : ""; }
  ProcessId WindowProcess(WindowId w) override { return Get(w) ? Get(w)->process : 0; }
  std::vector<WindowId> TopLevelWindows() override {
    if (!topLevelOrder.empty()) return topLevelOrder;
    std::vector<WindowId> all;
    for (const auto& [id, w] : windows) all.push_back(id);
    return all;
  }
  std::vector<WindowId> ChildWindows(WindowId w) override {
    return Get(w) ? Get(w)->children : std::vector<WindowId>{};
  }
  std::string AppUserModelId(WindowId w) override { return Get(w) ? Get(w)->appUserModelId : ""; }
  int RefreshRateHz(WindowId w) override { return Get(w) ? Get(w)->refreshRateHz : 0; }
  // The monitor sharing the most area with the window, else the first one.
  std::optional<Rect> NearestMonitorRect(WindowId w) override {
    if (!Get(w) || monitors.empty()) return std::nullopt;
    const Rect& r = Get(w)->rect;
    const Rect* best = &monitors.front();
    long bestArea = 0;
    for (const Rect& m : monitors) {
      const Rect common = Intersection(r, m);
      const long area = common.Empty() ? 0 : long(common.Width()) * common.Height();
      if (area > bestArea) {
        best = &m;
        bestArea = area;
      }
    }
    return *best;
  }

  ProcessId OwnProcess() override { return ownProcess; }
  std::optional<std::filesystem::path> ProcessImagePath(ProcessId p) override {
    const auto it = processes.find(p);
    return it == processes.end() ? std::nullopt : it->second.imagePath;
  }
  bool ProcessAlive(ProcessId p) override {
    const auto it = processes.find(p);
    return it != processes.end() && it->second.alive;
  }
  std::vector<std::pair<ProcessId, ProcessId>> ProcessParents() override {
    ++processParentsCalls;
    std::vector<std::pair<ProcessId, ProcessId>> table;
    for (const auto& [id, p] : processes) table.emplace_back(id, p.parent);
    return table;
  }
  std::optional<std::string> VersionInfoName(ProcessId p) override {
    const auto it = processes.find(p);
    return it == processes.end() ? std::nullopt : it->second.versionName;
  }

 private:
  const FakeWindow* Get(WindowId w) const {
    const auto it = windows.find(w);
    return it == windows.end() ? nullptr : &it->second;
  }
};

}  // namespace halvex::testing
