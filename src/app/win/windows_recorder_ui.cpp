#include "app/win/windows_recorder_ui.h"

#include <windows.h>

#include "app/recorder_run.h"
#include "app/win/single_instance_win.h"

namespace halvex {

bool WindowsRecorderUi::CreateTray() {
  WatchWakes(tray_, [this] { OnWake(); });
  return StartTray(tray_);
}

bool WindowsRecorderUi::PumpMessages(bool& escapeSeen) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    if ((msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) && msg.wParam == VK_ESCAPE) {
      escapeSeen = true;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  tray_.Pump();
  return true;
}

// No menus yet: the wake request is only acknowledged.
void WindowsRecorderUi::OnWake() { LogWakeRequest(); }

void WindowsRecorderUi::CloseMenusAndTray() { tray_.Remove(); }

}  // namespace halvex
