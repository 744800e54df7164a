#pragma once
// The capture loop's user interface on Windows so far: the main thread's message pump and the
// tray's message-only window, which a second start wakes. Overlay and menus are not there yet,
// so their calls keep the "nothing shown" defaults.
#include "app/recorder_hooks.h"
#include "app/win/tray_window.h"

namespace halvex {

class WindowsRecorderUi final : public IRecorderUi {
 public:
  // Creates the tray window; false when it could not be made (the program still records, but a
  // second start can no longer reach this one).
  bool CreateTray();

  // Drains the thread's queue with PeekMessageW. False once WM_QUIT was taken.
  bool PumpMessages(bool& escapeSeen) override;
  void OnWake() override;
  void CloseMenusAndTray() override;

  const TrayWindow& Tray() const { return tray_; }

 private:
  TrayWindow tray_;
};

}  // namespace halvex
