#pragma once
// The capture loop's user interface on Windows so far: the main thread's message pump and the
// tray icon, whose hidden window a second start wakes. Overlay and menus are not there yet, so
// their calls keep the "nothing shown" defaults.
#include <utility>

#include "app/recorder_hooks.h"
#include "ui/win/win32_tray.h"

namespace halvex {

class WindowsRecorderUi final : public IRecorderUi {
 public:
  // The program passes nothing: the tray shows the executable's icon.
  explicit WindowsRecorderUi(Win32Tray::IconLoader loadTrayIcon = LoadProgramIcon)
      : tray_(std::move(loadTrayIcon)) {}

  // Adds the tray icon and shows the start-up balloon; on failure logs the tray warning and
  // returns false (the program still records, but a second start can no longer reach this one).
  bool CreateTray();

  // Drains the thread's queue with PeekMessageW. False once WM_QUIT was taken ("Salir de Halvex"
  // in the tray menu posts it).
  bool PumpMessages(bool& escapeSeen) override;
  void OnWake() override;
  void CloseMenusAndTray() override;

  Win32Tray& Tray() { return tray_; }

 private:
  Win32Tray tray_;
};

}  // namespace halvex
