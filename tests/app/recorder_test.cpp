#include "app/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "app/recorder_fakes.h"
#include "core/clock.h"
#include "core/log.h"
#include "encode/fakes.h"
#include "input/key_state.h"
#include "input/target_detector.h"
#include "settings/profile_store.h"
#include "ui/fake_overlay_window.h"
#include "ui/overlay.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

constexpr WindowId kGameWindow = 100;
constexpr ProcessId kGameProcess = 500;
constexpr WindowId kOtherWindow = 200;
constexpr ProcessId kOtherProcess = 600;
constexpr int64_t kSecond = 1'000'000'000;

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    std::random_device rd;
    folder_ = fs::temp_directory_path() / ("halvex-recorder-" + std::to_string(rd()));
    fs::create_directories(folder_);
    store_ = settings::OpenProfileStore(folder_ / "Halvex.ini");
    Write("ClipSettings", "SaveRoot", (folder_ / "clips").string());

    windows_.processes[kGameProcess] = {"/games/juego.exe", 1, true};
    windows_.processes[kOtherProcess] = {"/usr/bin/editor", 1, true};
    windows_.windows[kGameWindow] = {{0, 0, 1920, 1080}, "gamewindow", "Juego", kGameProcess};
    windows_.windows[kOtherWindow] = {{0, 0, 800, 600}, "editor", "Editor", kOtherProcess};

    auto encoder = std::make_unique<test::FakeEncoder>();
    auto slots = std::make_unique<test::FakeSlotBackend>();
    slots_ = slots.get();
    worker_ = std::make_unique<VideoEncoderWorker>(std::move(encoder), std::move(slots));
    sleeper_ = std::make_unique<test::ClockSleeper>(clock_, *worker_);
  }

  ~RecorderTest() override {
    recorder_.reset();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  void Write(const char* section, const char* key, const std::string& value) {
    ASSERT_TRUE(store_->WriteString(section, key, value));
  }

  // Builds and starts the recorder over the fakes.
  void StartRecorder(bool withWindowCapture = false) {
    RecorderParts parts;
    parts.windows = &windows_;
    parts.detector = &detector_;
    parts.screen = &screen_;
    parts.windowSource = withWindowCapture ? &windowSource_ : nullptr;
    parts.pictures = &ops_;
    parts.keys = &keys_;
    parts.refreshKeys = [this] { ++keyRefreshes_; };
    parts.worker = worker_.get();
    parts.sleeper = sleeper_.get();
    parts.store = store_.get();
    parts.events = &ui_;
    parts.menus = &ui_;
    parts.capabilities = capabilities_;
    parts.softwareEncodingOnly = softwareEncodingOnly_;
    parts.bridge = bridge_;
    parts.privateWindows = privateWindows_;
    parts.overlay = overlay_;
    parts.tray = tray_;
    recorder_ = std::make_unique<Recorder>(parts);
    ASSERT_TRUE(recorder_->Start());
  }

  void Passes(int count) {
    for (int i = 0; i < count; ++i) ASSERT_TRUE(recorder_->RunPass());
    worker_->WaitForBacklog(2000);
  }

  void RunUntil(int64_t ns) {
    while (clock_.NowNs() < ns) ASSERT_TRUE(recorder_->RunPass());
    worker_->WaitForBacklog(2000);
  }

  std::vector<int64_t> Stamps() const {
    std::vector<int64_t> stamps;
    for (const EncodedPacket& p : recorder_->VideoPackets().SnapshotFrom(0)) {
      stamps.push_back(p.timestampNs);
    }
    return stamps;
  }

  ManualClock clock_{1000 * kSecond};
  ScopedClockSource clockScope_{&clock_};
  log::Capture log_;
  fs::path folder_;
  std::unique_ptr<settings::ProfileStore> store_;
  test::FakeWindowSystem windows_;
  TargetDetector detector_{windows_};
  test::FakeScreenSource screen_{clock_, 1920, 1080};
  test::FakeWindowSource windowSource_{test::TaggedPicture(1920, 1080)};
  test::FakePictureOps ops_;
  KeyDownTable keys_;
  int keyRefreshes_ = 0;
  test::FakeSlotBackend* slots_ = nullptr;  // what was submitted, as the worker copied it
  std::unique_ptr<VideoEncoderWorker> worker_;
  std::unique_ptr<test::ClockSleeper> sleeper_;
  test::FakeUi ui_;
  PlatformCapabilities capabilities_;
  bool softwareEncodingOnly_ = false;
  IShortcutBridge* bridge_ = nullptr;
  IPrivateWindowGuard* privateWindows_ = nullptr;
  Overlay* overlay_ = nullptr;
  ITray* tray_ = nullptr;
  std::unique_ptr<Recorder> recorder_;
};

// Pictures whose stamps fall in one second, counted from half an interval after the first.
size_t PicturesInOneSecond(const std::vector<int64_t>& stamps, int64_t interval) {
  if (stamps.empty()) return 0;
  const int64_t from = stamps.front() + interval / 2;
  size_t n = 0;
  for (int64_t s : stamps) n += s >= from && s < from + kSecond;
  return n;
}

TEST_F(RecorderTest, VsyncFollowsTheMonitorRefreshWithinTheBelievableRange) {
  Write("VideoQuality", "VSync", "1");
  windows_.refreshHz = 144;
  windows_.foreground = kGameWindow;
  StartRecorder();
  EXPECT_EQ(recorder_->CurrentRate(), 144);
  RunUntil(clock_.NowNs() + 2 * kSecond);
  const std::vector<int64_t> stamps = Stamps();
  EXPECT_EQ(PicturesInOneSecond(stamps, kSecond / 144), 144u);
  for (size_t i = 1; i < stamps.size(); ++i) ASSERT_EQ(stamps[i] - stamps[i - 1], kSecond / 144);
  EXPECT_EQ(keyRefreshes_ > 0, true);
}

TEST_F(RecorderTest, AnUnbelievableRefreshRateRecordsAtSixty) {
  Write("VideoQuality", "VSync", "1");
  windows_.refreshHz = 400;
  windows_.foreground = kGameWindow;
  StartRecorder();
  EXPECT_EQ(recorder_->CurrentRate(), 60);
  RunUntil(clock_.NowNs() + 2 * kSecond);
  EXPECT_EQ(PicturesInOneSecond(Stamps(), kSecond / 60), 60u);
}

TEST_F(RecorderTest, FallingBehindStampsThePresentInsteadOfCatchingUp) {
  windows_.foreground = kGameWindow;  // 60 fps fixed by default
  StartRecorder();
  Passes(10);
  const int64_t interval = kSecond / 60;

  // A short hiccup (under two intervals) keeps the timeline continuous.
  const int64_t beforeHiccup = Stamps().back();
  screen_.stallNextNs = interval + interval / 2;
  Passes(1);
  EXPECT_EQ(Stamps().back(), beforeHiccup + interval);

  // A long stall restarts the clock at the present, with no burst of catch-up pictures.
  const size_t before = Stamps().size();
  screen_.stallNextNs = 10 * interval;
  Passes(1);
  const int64_t stalledNow = screen_.afterLastAcquireNs;
  Passes(3);
  const std::vector<int64_t> stamps = Stamps();
  ASSERT_EQ(stamps.size(), before + 4);
  EXPECT_EQ(stamps[before], stalledNow);
  EXPECT_EQ(stamps[before + 1], stalledNow + interval);
  EXPECT_EQ(stamps[before + 3], stalledNow + 3 * interval);
}

TEST_F(RecorderTest, AnOutputLargerThanTheMonitorRecordsAtTheMonitorSize) {
  Write("VideoQuality", "Width", "2560");
  Write("VideoQuality", "Height", "1440");
  StartRecorder();
  EXPECT_EQ(ops_.captureSize, std::make_pair(1920, 1080));
  EXPECT_EQ(ops_.outputSize, std::make_pair(1920, 1080));
  EXPECT_EQ(recorder_->OutputWidth(), 1920);
  EXPECT_EQ(recorder_->OutputHeight(), 1080);
  EXPECT_EQ(recorder_->Video().width, 0);
}

TEST_F(RecorderTest, WithOnlySoftwareEncodingTheSourceSizeStartsAt1280x720UnlessConfigured) {
  struct SizeCase {
    bool softwareOnly;
    const char* width;
    const char* height;
    std::pair<int, int> output;
  };
  const std::vector<SizeCase> cases = {
      {true, "0", "0", {1280, 720}},     // the source's own size: what the CPU sustains
      {true, "1600", "900", {1600, 900}},  // the player's choice stays
      {true, "2560", "1440", {1280, 720}},  // larger than the monitor means the source's size
      {false, "0", "0", {1920, 1080}},   // a hardware encoder records the source as it is
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(std::string(c.width) + "x" + c.height + (c.softwareOnly ? " software" : ""));
    recorder_.reset();
    log_.Clear();
    softwareEncodingOnly_ = c.softwareOnly;
    Write("VideoQuality", "Width", c.width);
    Write("VideoQuality", "Height", c.height);
    StartRecorder();
    EXPECT_EQ(ops_.outputSize, c.output);
    const bool reduced = c.output == std::make_pair(1280, 720);
    EXPECT_EQ(log_.Contains("[VIDEO] Sin codificador por hardware: se graba a 1280x720 en lugar de "
                            "1920x1080"),
              reduced);
    // Only the run's size changes; the settings file keeps what the player wrote.
    EXPECT_EQ(settings::ReadVideoQualitySettings(*store_).width, std::stoi(c.width));
  }
}

TEST_F(RecorderTest, AGameThatExitsEndsTheSessionOnceAndEmptiesTheHistories) {
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(5);
  ASSERT_TRUE(recorder_->Session().active);
  EXPECT_TRUE(log_.Contains("[CLIPS] Clips On: Juego (juego.exe)"));
  ASSERT_GT(recorder_->VideoPackets().Size(), 0u);
  const uint64_t counter = recorder_->SessionCounter();
  AudioHistories& audio = recorder_->AudioPackets();
  for (PacketHistory* h : {&audio.desktop, &audio.microphone, &audio.game, &audio.mix}) {
    h->Append(PacketBytes{1, 2, 3}, true, clock_.NowNs(), 1024);
  }

  windows_.processes[kGameProcess].alive = false;
  windows_.windows.erase(kGameWindow);
  windows_.foreground = 0;
  Passes(5);

  EXPECT_FALSE(recorder_->Session().active);
  EXPECT_EQ(recorder_->SessionCounter(), counter + 1);
  EXPECT_EQ(log_.Count("[CLIPS] Juego/aplicacion cerrada: juego.exe. Video y audio detenidos"),
            1u);
  EXPECT_EQ(recorder_->VideoPackets().Size(), 0u);
  for (PacketHistory* h : {&audio.desktop, &audio.microphone, &audio.game, &audio.mix}) {
    EXPECT_EQ(h->Size(), 0u);
  }
}

TEST_F(RecorderTest, AnExcludedGameEndsTheSessionWithTheExclusionLine) {
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(2);
  detector_.SetVideoExclusions({"JUEGO.EXE"});
  Passes(1);
  EXPECT_FALSE(recorder_->Session().active);
  EXPECT_EQ(log_.Count("[EXCLUDE] juego.exe fue excluido de captura"), 1u);
  EXPECT_FALSE(log_.Contains("Juego/aplicacion cerrada"));
}

TEST_F(RecorderTest, OutOfFocusWithoutWindowCaptureSubmitsOnlyBlack) {
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(3);
  ASSERT_FALSE(slots_->Copied().empty());
  EXPECT_EQ(slots_->Copied().back(), screen_.picture.Native());

  windows_.foreground = kOtherWindow;
  slots_->ClearCopied();
  Passes(5);
  ASSERT_EQ(slots_->Copied().size(), 5u);
  for (const NativePicture* p : slots_->Copied()) EXPECT_EQ(p, ops_.Black());
  EXPECT_TRUE(recorder_->Session().active);
  EXPECT_EQ(log_.Count("[CLIPS] Juego fuera de foco: video protegido"), 1u);

  windows_.foreground = kGameWindow;
  slots_->ClearCopied();
  Passes(2);
  EXPECT_EQ(slots_->Copied().back(), screen_.picture.Native());
  EXPECT_EQ(log_.Count("[CLIPS] Juego en primer plano: captura normal."), 1u);
}

TEST_F(RecorderTest, VariableRateOutOfFocusStillSubmitsBlackAtSixty) {
  Write("VideoQuality", "FPS", "0");
  windows_.foreground = kOtherWindow;
  StartRecorder();
  windows_.foreground = kGameWindow;
  Passes(1);  // session starts
  windows_.foreground = kOtherWindow;
  slots_->ClearCopied();
  RunUntil(clock_.NowNs() + kSecond);
  ASSERT_GE(slots_->Copied().size(), 59u);
  ASSERT_LE(slots_->Copied().size(), 61u);
  for (const NativePicture* p : slots_->Copied()) EXPECT_EQ(p, ops_.Black());
}

TEST_F(RecorderTest, WindowCaptureKeepsTheGameOutOfFocus) {
  windows_.foreground = kGameWindow;
  StartRecorder(/*withWindowCapture=*/true);
  Passes(2);
  EXPECT_EQ(windowSource_.started, kGameWindow);
  windows_.foreground = kOtherWindow;
  slots_->ClearCopied();
  Passes(3);
  for (const NativePicture* p : slots_->Copied()) EXPECT_EQ(p, windowSource_.frame.Native());
  EXPECT_EQ(log_.Count("[CLIPS] Juego fuera de foco: WGC continua capturando la ventana"), 1u);
  EXPECT_EQ(screen_.acquires, 0);
}

TEST_F(RecorderTest, AMinimisedGameUnderWindowCaptureGivesBlackNotItsLastFrame) {
  windows_.foreground = kGameWindow;
  StartRecorder(/*withWindowCapture=*/true);
  Passes(2);
  windows_.foreground = kOtherWindow;
  windows_.windows[kGameWindow].minimized = true;
  slots_->ClearCopied();
  Passes(3);
  ASSERT_EQ(slots_->Copied().size(), 3u);
  for (const NativePicture* p : slots_->Copied()) EXPECT_EQ(p, ops_.Black());
  EXPECT_TRUE(recorder_->Session().active);

  windows_.windows[kGameWindow].minimized = false;
  slots_->ClearCopied();
  Passes(2);
  ASSERT_FALSE(slots_->Copied().empty());
  EXPECT_EQ(slots_->Copied().back(), windowSource_.frame.Native());
}

TEST_F(RecorderTest, AWindowedGameIsCutOutOfTheMonitorPicture) {
  windows_.windows[kGameWindow].rect = Rect{100, 50, 1380, 770};
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(2);
  ASSERT_FALSE(ops_.crops.empty());
  EXPECT_EQ(ops_.crops.back(), (Rect{100, 50, 1380, 770}));
  EXPECT_EQ(slots_->Copied().back(), ops_.canvas.Native());
}

TEST_F(RecorderTest, SaveFiresOnTheRisingEdgeOnly) {
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(30);
  keys_.Press(kVkF8);
  Passes(10);
  EXPECT_EQ(log_.Count("[CLIP-HOTKEY] HOTKEY DETECTADA (F8)."), 1u);
  // No sound pipeline: the clip is video-only and still saved.
  EXPECT_TRUE(log_.Contains("[F8] Snapshot listo; el hilo principal continua."));
  keys_.Release(kVkF8);
  Passes(2);
  ui_.recordingShortcut = true;
  keys_.Press(kVkF8);
  Passes(2);
  EXPECT_EQ(log_.Count("[CLIP-HOTKEY] HOTKEY DETECTADA"), 1u);
  keys_.Release(kVkF8);
  ui_.recordingShortcut = false;
  Passes(1);
  keys_.Press(kVkF8);
  Passes(1);
  EXPECT_EQ(log_.Count("[CLIP-HOTKEY] HOTKEY DETECTADA"), 2u);
}

TEST_F(RecorderTest, AnExceptionEndsOnlyItsPassAndShutdownReports) {
  windows_.foreground = kGameWindow;
  StartRecorder();
  ui_.throwOnce = true;
  ui_.passesLeft = 20;
  recorder_->Run();
  // The loop's own line: no save thread was involved.
  EXPECT_EQ(log_.Count("[CLIPS] ERROR: una pasada del bucle principal fallo: fallo de prueba"), 1u);
  EXPECT_EQ(log_.Count("[F8] ERROR: no se pudo iniciar el hilo de guardado."), 0u);
  EXPECT_TRUE(recorder_->Session().active);  // later passes went on
  EXPECT_FALSE(recorder_->Flags().saving.load());

  recorder_->Shutdown();
  recorder_->Shutdown();
  EXPECT_EQ(log_.Count("=== Resultados ==="), 1u);
  EXPECT_TRUE(log_.Contains("Paquetes de audio (mezcla) codificados: 0"));
  EXPECT_TRUE(log_.Contains("Clips guardados: 0"));
  EXPECT_GT(worker_->FramesSubmitted(), 0u);
}

// Windows 10 mode: what the private-window guard was asked, in order (0 = restore).
class RecordingGuard final : public IPrivateWindowGuard {
 public:
  void ExcludePrivateWindows(WindowId game) override { calls.push_back(game); }
  void RestorePrivateWindows() override { calls.push_back(0); }
  std::vector<WindowId> calls;
};

class LatchedBridge final : public IShortcutBridge {
 public:
  bool Active() const override { return true; }
  bool TakeSavePress() override { return std::exchange(savePressed, false); }
  bool TakeMenuPress() override { return false; }
  bool savePressed = false;
};

TEST_F(RecorderTest, Windows10AltTabSwitchesToWindowCaptureAndBackWithoutEndingTheSession) {
  RecordingGuard guard;
  capabilities_ = WindowsCapabilities(19045);
  privateWindows_ = &guard;
  windows_.foreground = kGameWindow;
  StartRecorder(/*withWindowCapture=*/true);
  Passes(2);
  ASSERT_TRUE(recorder_->Session().active);
  // In front: duplication, private windows hidden, and the first focus is reported.
  EXPECT_FALSE(windowSource_.running);
  EXPECT_EQ(windowSource_.started, 0u);
  EXPECT_EQ(guard.calls, (std::vector<WindowId>{kGameWindow, kGameWindow}));
  EXPECT_EQ(log_.Count("[CLIPS] Juego en primer plano: captura normal."), 1u);
  EXPECT_EQ(slots_->Copied().back(), screen_.picture.Native());

  windows_.foreground = kOtherWindow;
  guard.calls.clear();
  slots_->ClearCopied();
  Passes(3);
  EXPECT_TRUE(windowSource_.running);
  EXPECT_EQ(windowSource_.started, kGameWindow);
  EXPECT_EQ(log_.Count("[WGC-W10] Juego fuera de foco: WGC reactivada"), 1u);
  EXPECT_EQ(log_.Count("[CLIPS] Juego fuera de foco: WGC continua capturando la ventana"), 1u);
  EXPECT_EQ(guard.calls, (std::vector<WindowId>{0, 0, 0}));
  // The window's own frames, never the desktop behind them.
  for (const NativePicture* p : slots_->Copied()) {
    EXPECT_EQ(p, windowSource_.frame.Native());
  }

  windows_.foreground = kGameWindow;
  Passes(2);
  EXPECT_FALSE(windowSource_.running);
  EXPECT_TRUE(recorder_->Session().active);
  EXPECT_EQ(log_.Count("[CLIPS] Juego en primer plano: captura normal."), 2u);
  EXPECT_FALSE(log_.Contains("Juego/aplicacion cerrada"));

  // A closed game gives its windows back.
  guard.calls.clear();
  windows_.processes[kGameProcess].alive = false;
  windows_.windows.erase(kGameWindow);
  windows_.foreground = 0;
  Passes(1);
  EXPECT_FALSE(recorder_->Session().active);
  ASSERT_FALSE(guard.calls.empty());
  EXPECT_EQ(guard.calls.back(), 0u);
}

TEST_F(RecorderTest, Windows10SaveComesFromTheBridgeNotFromPolling) {
  LatchedBridge bridge;
  capabilities_ = WindowsCapabilities(19045);
  bridge_ = &bridge;
  windows_.foreground = kGameWindow;
  StartRecorder();
  Passes(2);
  // The polled combo alone does nothing while the bridge runs.
  keys_.Press(kVkF8);
  Passes(2);
  keys_.Release(kVkF8);
  EXPECT_FALSE(log_.Contains("[CLIP-HOTKEY] HOTKEY DETECTADA"));
  bridge.savePressed = true;
  Passes(2);
  EXPECT_EQ(log_.Count("[CLIP-HOTKEY] HOTKEY DETECTADA"), 1u);
}

}  // namespace
}  // namespace halvex

namespace halvex {
namespace {

// A tray whose requests the test sets, as a player's clicks would.
class FakeTray final : public ITray {
 public:
  bool Create() override { return created = true; }
  bool Created() const override { return created; }
  void ShowStartupNotification() override { ++startupNotices; }
  void ShowUpdateNotification(std::string_view) override {}
  void Pump() override { ++pumps; }
  TrayRequests TakeRequests() override { return std::exchange(pending, TrayRequests{}); }
  void Remove() override { created = false; }

  bool created = false;
  int startupNotices = 0;
  int pumps = 0;
  TrayRequests pending;
};

TEST_F(RecorderTest, TheBadgeFollowsTheSessionAndTheTrayOpensItOrEndsTheLoop) {
  testing::FakeOverlayWindow window;
  Overlay overlay(window, windows_);
  FakeTray tray;
  overlay_ = &overlay;
  tray_ = &tray;
  StartRecorder();
  EXPECT_TRUE(tray.created);
  EXPECT_EQ(tray.startupNotices, 1);

  windows_.foreground = kGameWindow;
  Passes(1);
  ASSERT_TRUE(recorder_->Session().active);
  EXPECT_EQ(overlay.Look().mode, BadgeMode::kOn);
  EXPECT_EQ(overlay.Look().text, "Clips On - F8 Save");
  ASSERT_TRUE(window.bounds);
  EXPECT_EQ(*window.bounds, (Rect{1920 - 210 - 14, 14, 1920 - 14, 14 + 42}));

  clock_.Advance(4 * kSecond);  // the "on" badge collapses to the dot
  Passes(1);
  EXPECT_EQ(overlay.Look().mode, BadgeMode::kDot);

  tray.pending.openSettings = true;  // no menus yet: the badge says Halvex records
  Passes(1);
  EXPECT_EQ(overlay.Look().mode, BadgeMode::kOn);
  EXPECT_TRUE(window.shown);

  windows_.processes[kGameProcess].alive = false;  // the game exits: the badge goes with it
  windows_.windows.erase(kGameWindow);
  windows_.foreground = 0;
  Passes(1);
  EXPECT_FALSE(recorder_->Session().active);
  EXPECT_FALSE(window.shown);

  tray.pending.quit = true;
  EXPECT_FALSE(recorder_->RunPass());
  EXPECT_GT(tray.pumps, 0);
  recorder_->Shutdown();
  EXPECT_FALSE(tray.created);
  EXPECT_TRUE(log_.Contains("=== Resultados ==="));
}

}  // namespace
}  // namespace halvex
