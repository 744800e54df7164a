#pragma once
// The platform's queue of window and system events, drained once at the top of every pass.
namespace halvex {

struct PumpResult {
  bool quit = false;        // the program was asked to end (WM_QUIT, a signal)
  bool escapeSeen = false;  // an Escape key-down went through the queue
  bool wake = false;        // another start of the program asked this one to show itself
};

class IEventPump {
 public:
  virtual ~IEventPump() = default;
  virtual PumpResult Pump() = 0;
};

}  // namespace halvex
