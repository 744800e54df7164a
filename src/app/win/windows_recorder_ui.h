#pragma once
// The main thread's message pump on Windows, and the tray icon, whose hidden window a second start
// wakes.
#include "app/event_pump.h"
#include "ui/win/win32_tray.h"

namespace halvex {

class WindowsRecorderUi final : public IEventPump {
 public:
  // The program passes nothing: the tray shows the executable's icon.
  explicit WindowsRecorderUi(Win32Tray::IconLoader loadTrayIcon = LoadProgramIcon);

  // Adds the tray icon and shows the start-up balloon; on failure logs the tray warning and
  // returns false (the program still records, but a second start can no longer reach this one).
  // The recorder does this itself with the tray it is given.
  bool CreateTray();

  // Drains the thread's queue with PeekMessageW; quit once WM_QUIT was taken ("Salir de Halvex"
  // in the tray menu posts it), wake when a second start reached the tray's window.
  PumpResult Pump() override;
  void CloseTray();

  Win32Tray& Tray() { return tray_; }

 private:
  Win32Tray tray_;
  bool woken_ = false;  // set by the tray window during dispatch
};

}  // namespace halvex
