#pragma once
// Fakes around the capture loop: a window system with a few windows and processes, picture
// sources that hand out tagged pictures, a sleeper that moves a manual clock, and a UI that can
// ask to quit.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/event_pump.h"
#include "app/menu_port.h"
#include "app/private_windows.h"
#include "app/shortcut_bridge.h"
#include "app/sleeper.h"
#include "capture/capture_sources.h"
#include "core/clock.h"
#include "core/linux/native_picture.h"
#include "encode/video_encoder_worker.h"
#include "input/window_system.h"

namespace halvex::test {

class FakeWindowSystem final : public IWindowSystem {
 public:
  struct Window {
    Rect rect;
    std::string className = "gamewindow";
    std::string title;
    ProcessId process = 0;
    bool minimized = false;
  };
  struct Process {
    std::string path;
    ProcessId parent = 1;
    bool alive = true;
  };

  std::map<WindowId, Window> windows;
  std::map<ProcessId, Process> processes;
  WindowId foreground = 0;
  int refreshHz = 60;
  ProcessId own = 10;

  WindowId ForegroundWindow() override { return foreground; }
  bool IsWindow(WindowId w) override { return windows.count(w) != 0; }
  bool IsVisible(WindowId w) override { return IsWindow(w); }
  bool IsMinimized(WindowId w) override { return IsWindow(w) && windows[w].minimized; }
  bool IsMaximized(WindowId) override { return false; }
  bool IsToolWindow(WindowId) override { return false; }
  WindowId Owner(WindowId) override { return 0; }
  std::optional<Rect> WindowRect(WindowId w) override {
    if (!IsWindow(w)) return std::nullopt;
    return windows[w].rect;
  }
  std::optional<Rect> ClientRectOnScreen(WindowId w) override { return WindowRect(w); }
  std::string ClassName(WindowId w) override { return IsWindow(w) ? windows[w].className : ""; }
  std::string Title(WindowId w) override { return IsWindow(w) ? windows[w].title : ""; }
  ProcessId WindowProcess(WindowId w) override { return IsWindow(w) ? windows[w].process : 0; }
  std::vector<WindowId> TopLevelWindows() override {
    std::vector<WindowId> all;
    for (const auto& [id, w] : windows) all.push_back(id);
    return all;
  }
  std::vector<WindowId> ChildWindows(WindowId) override { return {}; }
  std::string AppUserModelId(WindowId) override { return {}; }
  int RefreshRateHz(WindowId) override { return refreshHz; }
  ProcessId OwnProcess() override { return own; }
  std::optional<std::filesystem::path> ProcessImagePath(ProcessId p) override {
    auto it = processes.find(p);
    if (it == processes.end() || !it->second.alive) return std::nullopt;
    return std::filesystem::path(it->second.path);
  }
  bool ProcessAlive(ProcessId p) override {
    auto it = processes.find(p);
    return it != processes.end() && it->second.alive;
  }
  std::vector<std::pair<ProcessId, ProcessId>> ProcessParents() override {
    std::vector<std::pair<ProcessId, ProcessId>> all;
    for (const auto& [id, p] : processes) {
      if (p.alive) all.emplace_back(id, p.parent);
    }
    return all;
  }
  std::optional<std::string> VersionInfoName(ProcessId) override { return std::nullopt; }
};

// A picture of its own image: tests compare what was submitted by its native part.
inline Picture TaggedPicture(int width, int height) {
  return WrapImage(CpuPicture::Allocate(width, height));
}

class FakeScreenSource final : public IScreenSource {
 public:
  FakeScreenSource(ManualClock& clock, int width, int height) : clock_(clock) {
    output_.name = "Pantalla de prueba";
    output_.desktop = Rect{0, 0, width, height};
    picture = TaggedPicture(width, height);
  }
  const OutputInfo& Output() const override { return output_; }
  bool Open() override {
    ++opens;
    return true;
  }
  void Close() override {}
  Acquire AcquireNext(int, bool keep, Picture& out) override {
    ++acquires;
    clock_.Advance(stallNextNs);
    stallNextNs = 0;
    afterLastAcquireNs = clock_.NowNs();
    if (nextResult) {
      const Acquire r = *nextResult;
      nextResult.reset();
      return r;
    }
    if (!keep) return Acquire::Timeout;
    out = picture;
    return Acquire::NewPicture;
  }
  uint32_t LastError() const override { return 0x887A0001; }

  Picture picture;
  int64_t stallNextNs = 0;  // the next acquire takes this long
  int64_t afterLastAcquireNs = 0;
  std::optional<Acquire> nextResult;
  int opens = 0;
  int acquires = 0;

 private:
  ManualClock& clock_;
  OutputInfo output_;
};

class FakeWindowSource final : public IWindowSource {
 public:
  explicit FakeWindowSource(Picture frame) : frame(std::move(frame)) {}
  bool Initialize() override { return true; }
  bool Start(WindowId window) override {
    running = startSucceeds;
    started = window;
    return running;
  }
  void Stop() override { running = false; }
  bool IsRunning() const override { return running; }
  std::optional<Picture> AcquireLatest() override { return frame; }

  Picture frame;
  bool startSucceeds = true;
  bool running = false;
  WindowId started = 0;
};

class FakePictureOps final : public IPictureOps {
 public:
  bool CreateCaptureResources(int width, int height) override {
    captureSize = {width, height};
    black_ = TaggedPicture(width, height);
    canvas = TaggedPicture(width, height);
    return true;
  }
  bool CreateOutputResources(int width, int height) override {
    outputSize = {width, height};
    if (width != captureSize.first || height != captureSize.second) {
      black_ = TaggedPicture(width, height);
    }
    return true;
  }
  Picture CropToCanvas(const Picture&, const Rect& area) override {
    crops.push_back(area);
    return canvas;
  }
  Picture StretchToCapture(const Picture& frame) override { return frame; }
  Picture ScaleToOutput(const Picture& picture) override { return picture; }
  Picture BlackPicture() const override { return black_; }
  const NativePicture* Black() const { return black_.Native(); }

  std::pair<int, int> captureSize;
  std::pair<int, int> outputSize;
  Picture canvas;
  std::vector<Rect> crops;

 private:
  Picture black_;
};

// Moves the manual clock instead of sleeping, after letting the encoder worker catch up so that
// no frame is dropped for a backlog that only exists because simulated time runs fast.
class ClockSleeper final : public Sleeper {
 public:
  ClockSleeper(ManualClock& clock, VideoEncoderWorker& worker) : clock_(clock), worker_(worker) {}
  void SleepUntil(int64_t deadlineNs) override {
    worker_.WaitForBacklog(2000);
    if (deadlineNs > clock_.NowNs()) clock_.Set(deadlineNs);
  }
  void SleepFor(int64_t durationNs) override {
    worker_.WaitForBacklog(2000);
    clock_.Advance(durationNs);
  }

 private:
  ManualClock& clock_;
  VideoEncoderWorker& worker_;
};

// The event queue and the menus: how many passes run, and a menu that can throw or hold the
// shortcuts.
class FakeUi final : public IEventPump, public IMenus {
 public:
  PumpResult Pump() override {
    PumpResult r;
    r.quit = passesLeft-- == 0;
    return r;
  }
  bool Serve() override {
    if (throwOnce) {
      throwOnce = false;
      throw std::runtime_error("fallo de prueba");
    }
    return true;
  }
  bool RecordingShortcut() const override { return recordingShortcut; }

  int passesLeft = -1;  // negative: never quit
  bool throwOnce = false;
  bool recordingShortcut = false;
};

}  // namespace halvex::test
