#pragma once
// Windows 10 keyboard bridge: a thread of its own with a message-only window that receives the
// shortcuts through RegisterHotKey, and a low-level keyboard hook that catches what
// RegisterHotKey cannot (two main keys, combos taken by another program). The main loop takes the
// triggers each pass. One bridge runs per process (the hook has no context of its own).
#include <atomic>
#include <cstdint>
#include <thread>

#include "input/hotkey_bridge_rules.h"
#include "input/hotkey_combo.h"

namespace halvex {

class KeyboardBridge {
 public:
  KeyboardBridge() = default;
  ~KeyboardBridge();
  KeyboardBridge(const KeyboardBridge&) = delete;
  KeyboardBridge& operator=(const KeyboardBridge&) = delete;

  // Returns whether the bridge runs (it waits up to 1500 ms for the thread to come up).
  bool Start(const HotkeyCombo& save, const HotkeyCombo& menu);
  void UpdateCombos(const HotkeyCombo& save, const HotkeyCombo& menu);
  void Stop();
  bool Running() const { return up_.load(); }

  // Reads and clears a trigger.
  bool TakeTrigger(BridgeShortcut shortcut) { return state_.TakeTrigger(shortcut); }
  bool IsRegistered(BridgeShortcut shortcut) const { return state_.IsRegistered(shortcut); }

 private:
  friend struct KeyboardBridgeProcs;  // the hook procedure (keyboard_bridge.cpp)

  void ThreadMain();
  void RegisterHotkeys();
  void UnregisterHotkeys();

  HotkeyBridgeState state_;
  std::thread thread_;
  std::atomic<uint32_t> threadId_{0};
  std::atomic<void*> window_{nullptr};
  void* hook_ = nullptr;   // bridge thread only
  void* ready_ = nullptr;  // manual-reset event
  std::atomic<bool> running_{false};
  std::atomic<bool> up_{false};
  bool started_ = false;  // Start succeeded or is in progress (caller's thread)
};

}  // namespace halvex
