#include "input/key_state.h"

namespace halvex {
namespace {

bool IsKeyOrVariantDown(VirtualKey key, const KeyState& keys) {
  if (keys.IsDown(key)) return true;
  switch (key) {
    case kVkShift: return keys.IsDown(kVkLeftShift) || keys.IsDown(kVkRightShift);
    case kVkControl: return keys.IsDown(kVkLeftControl) || keys.IsDown(kVkRightControl);
    case kVkAlt: return keys.IsDown(kVkLeftAlt) || keys.IsDown(kVkRightAlt);
    case kVkLeftWin: return keys.IsDown(kVkRightWin);
    default: return false;
  }
}

}  // namespace

bool IsComboHeld(const HotkeyCombo& combo, const KeyState& keys) {
  if (combo.Empty()) return false;
  for (const VirtualKey key : combo.Keys()) {
    if (!IsKeyOrVariantDown(key, keys)) return false;
  }
  return true;
}

}  // namespace halvex
