#pragma once
// Whether a shortcut is held, judged against any source of key states (the system's asynchronous
// key state, the keyboard hook's key-down table, or a table set by tests).
#include <array>

#include "input/hotkey_combo.h"

namespace halvex {

// Seam: is this virtual key down right now.
class KeyState {
 public:
  virtual ~KeyState() = default;
  virtual bool IsDown(VirtualKey code) const = 0;
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

// True when the combo is non-empty and every key is down. Shift, Ctrl, Alt and Windows count when
// either their left or their right key is down.
bool IsComboHeld(const HotkeyCombo& combo, const KeyState& keys);

// Fires on the rising edge of "held": held now and not held on the previous poll.
class ComboEdge {
 public:
  // Returns true once per press of the combo.
  bool Poll(bool held_now) {
    const bool fired = held_now && !previous_;
    previous_ = held_now;
    return fired;
  }
  bool Poll(const HotkeyCombo& combo, const KeyState& keys) { return Poll(IsComboHeld(combo, keys)); }
  // After the shortcut changed: the current state becomes the previous one, so a combo already held
  // does not fire at once.
  void Reset(bool held_now) { previous_ = held_now; }
  bool WasHeld() const { return previous_; }

 private:
  bool previous_ = false;
};

}  // namespace halvex
