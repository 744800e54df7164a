#include "app/win/windows_recorder_ui.h"

#include <windows.h>

#include <utility>

#include "app/win/single_instance_win.h"

namespace halvex {

WindowsRecorderUi::WindowsRecorderUi(Win32Tray::IconLoader loadTrayIcon)
    : tray_(std::move(loadTrayIcon)) {
  WatchWakes(tray_, [this] { woken_ = true; });
}

bool WindowsRecorderUi::CreateTray() { return StartTray(tray_); }

PumpResult WindowsRecorderUi::Pump() {
  PumpResult result;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      result.quit = true;
      break;
    }
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_ESCAPE) {
      result.escapeSeen = true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  result.wake = woken_;
  woken_ = false;
  return result;
}

void WindowsRecorderUi::CloseTray() { tray_.Remove(); }

}  // namespace halvex
