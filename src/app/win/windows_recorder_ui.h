#pragma once
// The main thread's message pump on Windows, and the tray's message-only window, which a second
// start wakes.
#include "app/event_pump.h"
#include "app/win/tray_window.h"

namespace halvex {

class WindowsRecorderUi final : public IEventPump {
 public:
  // Creates the tray window; false when it could not be made (the program still records, but a
  // second start can no longer reach this one).
  bool CreateTray();

  // Drains the thread's queue with PeekMessageW; quit once WM_QUIT was taken.
  PumpResult Pump() override;
  void CloseTray();

  const TrayWindow& Tray() const { return tray_; }

 private:
  TrayWindow tray_;
  bool woken_ = false;  // set by the tray window during dispatch
};

}  // namespace halvex
