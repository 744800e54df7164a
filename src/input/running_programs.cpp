#include "input/running_programs.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "core/text.h"
#include "settings/executable_name.h"

namespace halvex {

std::vector<RunningProgram> ListRunningPrograms(IWindowSystem& windows) {
  const ProcessId own = windows.OwnProcess();
  std::vector<RunningProgram> programs;
  std::set<std::string> seen;
  for (const WindowId window : windows.TopLevelWindows()) {
    if (!windows.IsWindow(window) || !windows.IsVisible(window)) continue;
    if (windows.Owner(window) != 0 || windows.IsToolWindow(window)) continue;
    const ProcessId process = windows.WindowProcess(window);
    if (process == 0 || process == own) continue;
    const auto path = windows.ProcessImagePath(process);
    if (!path) continue;
    const auto name = settings::NormalizeExecutableName(text::PathToUtf8(*path));
    if (!name || *name == "applicationframehost.exe") continue;
    std::string title = windows.Title(window);
    if (title.empty()) continue;
    if (!seen.insert(*name).second) continue;
    programs.push_back({*name, std::move(title)});
  }
  std::sort(programs.begin(), programs.end(), [](const RunningProgram& a, const RunningProgram& b) {
    return std::tie(a.executableName, a.title) < std::tie(b.executableName, b.title);
  });
  return programs;
}

}  // namespace halvex
