#include "app/win/windows_recorder_ui.h"

#include <windows.h>


namespace halvex {

bool WindowsRecorderUi::CreateTray() {
  return tray_.Create([this] { woken_ = true; });
}

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

void WindowsRecorderUi::CloseTray() { tray_.Destroy(); }

}  // namespace halvex
