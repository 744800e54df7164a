#include "input/key_state.h"

namespace halvex {
namespace {

// The key, or for Shift, Ctrl, Alt and Windows either of its variants, passes `test`.
template <typename Test>
bool KeyOrVariant(VirtualKey key, Test test) {
  if (test(key)) return true;
  switch (key) {
    case kVkShift: return test(kVkLeftShift) || test(kVkRightShift);
    case kVkControl: return test(kVkLeftControl) || test(kVkRightControl);
    case kVkAlt: return test(kVkLeftAlt) || test(kVkRightAlt);
    case kVkLeftWin: return test(kVkRightWin);
    default: return false;
  }
}

}  // namespace

bool IsComboHeld(const HotkeyCombo& combo, const KeyState& keys) {
  if (combo.Empty()) return false;
  for (const VirtualKey key : combo.Keys()) {
    if (!KeyOrVariant(key, [&](VirtualKey k) { return keys.IsDown(k); })) return false;
  }
  return true;
}

ComboReading ReadCombo(const HotkeyCombo& combo, const KeyState& keys) {
  ComboReading r;
  if (combo.Empty()) return r;
  r.reached = true;
  for (const VirtualKey key : combo.Keys()) {
    const bool went = KeyOrVariant(key, [&](VirtualKey k) { return keys.WentDown(k); });
    r.pressed = r.pressed || went;
    if (!went && !KeyOrVariant(key, [&](VirtualKey k) { return keys.IsDown(k); })) {
      r.reached = false;
    }
  }
  return r;
}

void KeyEventTable::Press(VirtualKey code) {
  if (code >= down_.size()) return;
  if (!down_[code]) pressed_[code] = true;
  down_[code] = true;
}

void KeyEventTable::Release(VirtualKey code) {
  if (code < down_.size()) down_[code] = false;
}

void KeyEventTable::SetDown(VirtualKey code, bool down) {
  if (code < down_.size()) down_[code] = down;
}

void KeyEventTable::Publish() {
  seen_ = pressed_;
  pressed_.fill(false);
}

}  // namespace halvex
