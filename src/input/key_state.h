#pragma once
// Whether a shortcut is held, judged against any source of key states (the system's asynchronous
// key state, the keyboard hook's key-down table, or a table set by tests).
#include <array>

#include "input/hotkey_combo.h"

namespace halvex {

// Seam: is this virtual key down right now, and did it go down since the keys were last read.
class KeyState {
 public:
  virtual ~KeyState() = default;
  virtual bool IsDown(VirtualKey code) const = 0;
  // Pressed since the previous read of the keyboard, even when already released again: a press
  // shorter than a pass of the loop is still seen once. Sources that only sample say false.
  virtual bool WentDown(VirtualKey) const { return false; }
};

// 256 key-down flags indexed by virtual-key code. Codes of 256 or more are never down and setting
// them does nothing. Not synchronised: the owner guards it.
class KeyDownTable final : public KeyState {
 public:
  bool IsDown(VirtualKey code) const override { return code < down_.size() && down_[code]; }
  void Set(VirtualKey code, bool down) {
    if (code < down_.size()) down_[code] = down;
  }
  void Press(VirtualKey code) { Set(code, true); }
  void Release(VirtualKey code) { Set(code, false); }
  void Clear() { down_.fill(false); }

 private:
  std::array<bool, 256> down_{};
};

// Keys fed by press and release events and read once per pass of the loop: a key that went down
// since the previous read is reported by WentDown for that read even when it is up again. The 256
// codes are the source's own (virtual keys, or the key codes its events carry, which the backend
// translates). Not synchronised.
class KeyEventTable final : public KeyState {
 public:
  bool IsDown(VirtualKey code) const override { return code < down_.size() && down_[code]; }
  bool WentDown(VirtualKey code) const override {
    return code < seen_.size() && seen_[code];
  }
  // A press of a key that is already down is a repeat and latches nothing.
  void Press(VirtualKey code);
  void Release(VirtualKey code);
  // The state as the system reports it now (keys held before the events began, or after events
  // were lost); latches are kept.
  void SetDown(VirtualKey code, bool down);
  // Ends the gathering of one read: the presses since the previous Publish become what WentDown
  // reports until the next one.
  void Publish();

 private:
  std::array<bool, 256> down_{};
  std::array<bool, 256> pressed_{};  // went down since the last Publish
  std::array<bool, 256> seen_{};     // what the current read reports
};

// True when the combo is non-empty and every key is down. Shift, Ctrl, Alt and Windows count when
// either their left or their right key is down.
bool IsComboHeld(const HotkeyCombo& combo, const KeyState& keys);

// What one read of the keyboard says about a combo: every key down or pressed since the previous
// read (`reached`), and whether any of its keys was pressed since then (`pressed`).
struct ComboReading {
  bool reached = false;
  bool pressed = false;
};
ComboReading ReadCombo(const HotkeyCombo& combo, const KeyState& keys);

// Fires once per press of a combo: when it is reached and was not on the previous poll, or when
// one of its keys went down again since then (released and pressed within one pass).
class ComboEdge {
 public:
  // Returns true once per press of the combo.
  bool Poll(bool held_now) {
    const bool fired = held_now && !previous_;
    previous_ = held_now;
    return fired;
  }
  bool Poll(const ComboReading& now) {
    const bool fired = now.reached && (!previous_ || now.pressed);
    previous_ = now.reached;
    return fired;
  }
  bool Poll(const HotkeyCombo& combo, const KeyState& keys) { return Poll(ReadCombo(combo, keys)); }
  // After the shortcut changed: the current state becomes the previous one, so a combo already held
  // does not fire at once.
  void Reset(bool held_now) { previous_ = held_now; }
  bool WasHeld() const { return previous_; }

 private:
  bool previous_ = false;
};

}  // namespace halvex
