#include "input/target_detector.h"

#include <algorithm>
#include <unordered_map>

#include "core/text.h"
#include "settings/executable_name.h"

namespace halvex {
namespace {

constexpr int kMinWidth = 640;
constexpr int kMinHeight = 360;
constexpr size_t kClassNameUnits = 255;  // what a 256-unit class buffer holds

constexpr std::string_view kSettingsAppFamily = "windows.immersivecontrolpanel_cw5n1h2txyewy!";
constexpr std::string_view kSettingsAppId =
    "windows.immersivecontrolpanel!microsoft.windows.immersivecontrolpanel";
constexpr std::string_view kSettingsImage = "systemsettings.exe";

std::string LowerClassName(IWindowSystem& windows, WindowId window) {
  std::u16string units = text::Utf8ToUtf16(windows.ClassName(window));
  if (units.size() > kClassNameUnits) units.resize(kClassNameUnits);
  return text::AsciiLower(text::Utf16ToUtf8(units));
}

}  // namespace

bool DescendsFrom(const std::vector<std::pair<ProcessId, ProcessId>>& parents, ProcessId process,
                  ProcessId ancestor) {
  if (ancestor == 0) return false;
  const std::unordered_map<ProcessId, ProcessId> parentOf(parents.begin(), parents.end());
  ProcessId current = process;
  for (int step = 0;; ++step) {
    if (current == 0) return false;
    if (current == ancestor) return true;
    if (step == kMaxProcessTreeSteps) return false;
    const auto it = parentOf.find(current);
    if (it == parentOf.end() || it->second == current) return false;
    current = it->second;
  }
}

TargetDetector::TargetDetector(IWindowSystem& windows) : windows_(windows) {}

void TargetDetector::SetVideoExclusions(const std::vector<std::string>& names) {
  videoExclusions_.clear();
  for (const std::string& name : names) {
    std::string lower = settings::ProgramFileNameLower(name);
    if (!lower.empty()) videoExclusions_.push_back(std::move(lower));
  }
  std::sort(videoExclusions_.begin(), videoExclusions_.end());
  videoExclusions_.erase(std::unique(videoExclusions_.begin(), videoExclusions_.end()),
                         videoExclusions_.end());
}

bool TargetDetector::IsExcluded(const std::string& executableName) const {
  const std::string lower = settings::ProgramFileNameLower(executableName);
  return std::binary_search(videoExclusions_.begin(), videoExclusions_.end(), lower);
}

std::optional<std::string> TargetDetector::ProcessImageName(ProcessId process) {
  if (process == 0) return std::nullopt;
  const auto path = windows_.ProcessImagePath(process);
  if (!path) return std::nullopt;
  std::string name = settings::ProgramFileName(text::PathToUtf8(*path));
  if (name.empty()) return std::nullopt;
  return name;
}

bool TargetDetector::IsCandidateWindow(WindowId window) {
  if (window == 0 || !windows_.IsWindow(window)) return false;
  if (!windows_.IsVisible(window) || windows_.IsMinimized(window)) return false;
  if (windows_.Owner(window) != 0) return false;
  const auto rect = windows_.WindowRect(window);
  if (!rect || rect->Width() < kMinWidth || rect->Height() < kMinHeight) return false;
  if (IsShellWindowClass(LowerClassName(windows_, window))) return false;
  return !windows_.IsDesktopShellWindow(window);
}

bool TargetDetector::IsSettingsApp(WindowId window) {
  const std::string appId = text::AsciiLower(windows_.AppUserModelId(window));
  if (text::Utf8ToUtf16(appId).size() > 43 && appId.find(kSettingsAppFamily) != std::string::npos) {
    return true;
  }
  if (appId == kSettingsAppId) return true;
  if (LowerClassName(windows_, window) != "applicationframewindow") return false;
  const auto isSettingsImage = [this](ProcessId process) {
    const auto name = ProcessImageName(process);
    return name && text::AsciiLower(*name) == kSettingsImage;
  };
  for (const WindowId child : windows_.ChildWindows(window)) {
    if (isSettingsImage(windows_.WindowProcess(child))) return true;
  }
  return isSettingsImage(windows_.WindowProcess(window));
}

TargetInfo TargetDetector::DetectForeground() {
  const WindowId window = windows_.ForegroundWindow();
  if (!IsCandidateWindow(window)) return {};
  const ProcessId process = windows_.WindowProcess(window);
  if (process == 0 || process == windows_.OwnProcess()) return {};
  const auto name = ProcessImageName(process);
  if (!name) return {};
  if (IsSettingsApp(window)) return {};
  const std::string lower = text::AsciiLower(*name);
  if (IsBuiltInExclusion(lower) || IsExcluded(lower)) return {};

  TargetInfo info;
  info.valid = true;
  info.processId = process;
  info.window = window;
  info.executableName = *name;
  info.title = windows_.Title(window);
  if (info.title.empty()) info.title = *name;
  const auto versionName = windows_.VersionInfoName(process);
  info.displayName = versionName && !versionName->empty() ? *versionName : info.title;
  return info;
}

bool TargetDetector::TargetAlive(ProcessId process) {
  return process != 0 && windows_.ProcessAlive(process);
}

bool TargetDetector::TargetInFrontByWindow(WindowId target, ProcessId process) {
  const WindowId foreground = windows_.ForegroundWindow();
  if (foreground == 0) return false;
  if (foreground == target) return true;
  return process != 0 && IsCandidateWindow(foreground) &&
         windows_.WindowProcess(foreground) == process;
}

bool TargetDetector::TargetInFrontByProcessTree(WindowId target, ProcessId process) {
  const WindowId foreground = windows_.ForegroundWindow();
  if (foreground == 0) return false;
  if (foreground == target) return true;
  const ProcessId foregroundProcess = windows_.WindowProcess(foreground);
  if (foregroundProcess == 0) return false;
  if (foregroundProcess == process) return true;
  return DescendsFrom(windows_.ProcessParents(), foregroundProcess, process);
}

bool FocusCache::TargetInFront(IWindowSystem& windows, WindowId target, ProcessId process) {
  const WindowId foreground = windows.ForegroundWindow();
  if (foreground == 0) return false;
  if (foreground == target) return true;
  const ProcessId foregroundProcess = windows.WindowProcess(foreground);
  if (foregroundProcess == 0) return false;
  if (valid_ && foreground_ == foregroundProcess && target_ == process) return answer_;
  answer_ = DescendsFrom(windows.ProcessParents(), foregroundProcess, process);
  ++walks_;
  foreground_ = foregroundProcess;
  target_ = process;
  valid_ = true;
  return answer_;
}

}  // namespace halvex
