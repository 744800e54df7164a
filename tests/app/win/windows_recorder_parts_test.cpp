// The Windows pieces handed to the capture loop: the message pump with its tray window, and the
// Windows 10 private-window guard over real windows of this process.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "app/win/private_window_guard.h"
#include "app/win/single_instance_win.h"
#include "app/win/windows_recorder_ui.h"
#include "core/log.h"
#include "core/text.h"
#include "input/target_detector.h"
#include "input/win/win32_window_system.h"
#include "ui/win/drawn_tray_icon.h"

namespace halvex {
namespace {

TEST(WindowsRecorderUiTest, PumpReportsEscapeAndTheWakeAndStopsAtQuit) {
  WindowsRecorderUi ui(test::DrawnTrayIcon);
  ASSERT_TRUE(ui.CreateTray());
  const HWND tray = ui.Tray().Window();

  PumpResult r = ui.Pump();
  EXPECT_FALSE(r.quit || r.escapeSeen || r.wake);

  PostThreadMessageW(GetCurrentThreadId(), WM_KEYDOWN, 'A', 0);
  PostMessageW(tray, kWakeMessage, 0, 0);
  r = ui.Pump();
  EXPECT_FALSE(r.quit || r.escapeSeen);
  EXPECT_TRUE(r.wake);
  EXPECT_FALSE(ui.Pump().wake);  // each wake is reported once

  PostThreadMessageW(GetCurrentThreadId(), WM_SYSKEYDOWN, VK_ESCAPE, 0);
  EXPECT_TRUE(ui.Pump().escapeSeen);

  // The quit comes once the posted messages ahead of it went through, and ends the pump.
  PostMessageW(tray, kWakeMessage, 0, 0);
  PostQuitMessage(0);
  r = ui.Pump();
  EXPECT_TRUE(r.quit);
  EXPECT_TRUE(r.wake);
  EXPECT_FALSE(ui.Pump().quit);

  ui.CloseTray();
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, kTrayWindowClass, nullptr), nullptr);
}

TEST(WindowsRecorderUiTest, QuitFromTheTrayMenuEndsThePumpAndAMissingIconOnlyWarns) {
  {
    log::Capture lines;
    WindowsRecorderUi ui(test::DrawnTrayIcon);
    ASSERT_TRUE(ui.CreateTray());
    EXPECT_EQ(lines.Count("AVISO"), 0u);
    PostMessageW(ui.Tray().Window(), WM_COMMAND, 20481, 0);  // "Salir de Halvex"
    EXPECT_TRUE(ui.Pump().quit);
    EXPECT_TRUE(ui.Tray().TakeRequests().quit);
    ui.CloseTray();
  }
  log::Capture lines;
  WindowsRecorderUi ui([]() -> HICON { return nullptr; });
  EXPECT_FALSE(ui.CreateTray());
  EXPECT_EQ(lines.Count("AVISO: no se pudo inicializar el icono de bandeja de Halvex."), 1u);
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, kTrayWindowClass, nullptr), nullptr);
  EXPECT_FALSE(ui.Pump().quit);  // the program runs on without it
}

std::string OwnExecutableName() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring full(path, n);
  return text::WideToUtf8(full.substr(full.find_last_of(L"\\/") + 1));
}

class PrivateWindowGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"HalvexGuardTestWindow";
    RegisterClassW(&wc);
    game_ = Make(0, 0, 800, 600);
    over_ = Make(100, 100, 300, 200);
    apart_ = Make(1200, 800, 200, 100);
  }
  void TearDown() override {
    for (HWND w : {game_, over_, apart_}) DestroyWindow(w);
  }
  static HWND Make(int x, int y, int w, int h) {
    HWND window = CreateWindowExW(0, L"HalvexGuardTestWindow", L"", WS_POPUP, x, y, w, h, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    return window;
  }
  static WindowId Id(HWND w) { return static_cast<WindowId>(reinterpret_cast<uintptr_t>(w)); }

  Win32WindowSystem windows_;
  TargetDetector detector_{windows_};
  std::vector<std::pair<HWND, bool>> calls_;
  HWND game_ = nullptr;
  HWND over_ = nullptr;
  HWND apart_ = nullptr;
};

TEST_F(PrivateWindowGuardTest, WindowsOfAnExcludedProgramOverTheGameAreHiddenUntilRestored) {
  ASSERT_TRUE(game_ && over_ && apart_);
  // This test program is an ordinary program until the user excludes it (in any case).
  PrivateWindowGuard guard(windows_, detector_, [this](HWND w, bool excluded) {
    calls_.emplace_back(w, excluded);
    return true;
  });
  guard.ExcludePrivateWindows(Id(game_));
  EXPECT_TRUE(calls_.empty());
  EXPECT_FALSE(guard.IsPrivate(over_));

  std::string upper = OwnExecutableName();
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  detector_.SetVideoExclusions({upper});
  EXPECT_TRUE(guard.IsPrivate(over_));
  guard.ExcludePrivateWindows(Id(game_));
  // Only the overlapping window: never the game itself, never one elsewhere on the screen.
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0], std::make_pair(over_, true));
  guard.ExcludePrivateWindows(Id(game_));
  EXPECT_EQ(calls_.size(), 1u);  // already excluded: not set again

  guard.RestorePrivateWindows();
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[1], std::make_pair(over_, false));
  EXPECT_TRUE(guard.Exclusion().Excluded().empty());
}

}  // namespace
}  // namespace halvex
