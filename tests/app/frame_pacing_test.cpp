#include "app/frame_pacing.h"

#include <gtest/gtest.h>

#include "app/startup_lines.h"
#include "audio/audio_encoder.h"

namespace halvex {
namespace {

constexpr int64_t kSixtieth = 1'000'000'000 / 60;

class RefreshOnly final : public IWindowSystem {
 public:
  int hz = 0;
  WindowId ForegroundWindow() override { return 1; }
  bool IsWindow(WindowId) override { return true; }
  bool IsVisible(WindowId) override { return true; }
  bool IsMinimized(WindowId) override { return false; }
  bool IsMaximized(WindowId) override { return false; }
  bool IsToolWindow(WindowId) override { return false; }
  WindowId Owner(WindowId) override { return 0; }
  std::optional<Rect> WindowRect(WindowId) override { return std::nullopt; }
  std::optional<Rect> ClientRectOnScreen(WindowId) override { return std::nullopt; }
  std::string ClassName(WindowId) override { return {}; }
  std::string Title(WindowId) override { return {}; }
  ProcessId WindowProcess(WindowId) override { return 0; }
  std::vector<WindowId> TopLevelWindows() override { return {}; }
  std::vector<WindowId> ChildWindows(WindowId) override { return {}; }
  std::string AppUserModelId(WindowId) override { return {}; }
  int RefreshRateHz(WindowId) override { return hz; }
  ProcessId OwnProcess() override { return 0; }
  std::optional<std::filesystem::path> ProcessImagePath(ProcessId) override { return {}; }
  bool ProcessAlive(ProcessId) override { return false; }
  std::vector<std::pair<ProcessId, ProcessId>> ProcessParents() override { return {}; }
  std::optional<std::string> VersionInfoName(ProcessId) override { return {}; }
};

TEST(FrameRateTest, VsyncBelievesOnlyRefreshRatesFrom24To360) {
  RefreshOnly windows;
  settings::VideoQualitySettings video;
  video.fps = 30;
  EXPECT_EQ(CurrentFrameRate(video, windows, 1), 30);
  video.vsync = true;
  for (auto [reported, used] : {std::pair{24, 24}, {360, 360}, {23, 60}, {361, 60}, {0, 60}}) {
    windows.hz = reported;
    EXPECT_EQ(CurrentFrameRate(video, windows, 1), used) << reported;
  }
  video.fps = 0;
  EXPECT_FALSE(IsVariableFrameRate(video));
  video.vsync = false;
  EXPECT_TRUE(IsVariableFrameRate(video));
  EXPECT_EQ(FrameIntervalNs(0), kSixtieth);
}

TEST(FramePacerTest, VariableRateRunsFreeInFocusAndAtSixtyOutOfIt) {
  FramePacer pacer;
  pacer.Configure(0, true);
  EXPECT_EQ(pacer.EndOfPass(5000, true), 0);
  EXPECT_EQ(pacer.Clock(), 5000);
  EXPECT_EQ(pacer.EndOfPass(5000, false), 5000 + kSixtieth);
  // Already late: go on at once from the present.
  EXPECT_EQ(pacer.EndOfPass(5000 + 3 * kSixtieth, false), 0);
  EXPECT_EQ(pacer.Clock(), 5000 + 3 * kSixtieth);
}

TEST(FramePacerTest, FixedRateStampResetsOnlyWhenMoreThanTwoIntervalsBehind) {
  FramePacer pacer;
  pacer.Configure(30, false);
  const int64_t interval = 1'000'000'000 / 30;
  EXPECT_EQ(pacer.FixedRateStamp(1000), 1000);  // unset clock starts at the present
  EXPECT_EQ(pacer.EndOfPass(1000, true), 1000 + interval);
  EXPECT_EQ(pacer.FixedRateStamp(1000 + 3 * interval), 1000 + interval);  // exactly two behind
  EXPECT_EQ(pacer.FixedRateStamp(1000 + 3 * interval + 1), 1000 + 3 * interval + 1);
}

TEST(StartupLinesTest, RecordingLineNamesTracksOutputAndShortcuts) {
  RecordingLineInputs in;
  in.durationSeconds = 45;
  in.audio.desktop = true;
  in.saveShortcut = "F8";
  in.menuShortcut = "Ctrl + Shift + F10";
  EXPECT_EQ(RecordingLine(in),
            "Grabando en buffer circular (45s, audio juego: si, microfono: no, mezcla: no, "
            "canales editor: si, salida: 48000Hz/AAC-LC 256kbps). F8 = guardar clip, "
            "Ctrl + Shift + F10 = menu. ESC cierra el menu activo.");
  in.quality.format = AudioFormat::Alac;
  EXPECT_NE(RecordingLine(in).find("Hz/ALAC (Sin pérdida) sin bitrate). "), std::string::npos);
}

}  // namespace
}  // namespace halvex
