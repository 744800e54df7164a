#pragma once
// The two global shortcuts, stored as comma-separated virtual-key codes ("16,17,121").
#include <string>
#include <string_view>

#include "input/hotkey_combo.h"
#include "settings/profile_store.h"

namespace halvex::settings {

struct ShortcutPair {
  HotkeyCombo saveClip = DefaultSaveClipCombo();
  HotkeyCombo openMenu = DefaultOpenMenuCombo();

  friend bool operator==(const ShortcutPair&, const ShortcutPair&) = default;
};

// The stored text of a combo: its normal form's codes in decimal joined by ",".
std::string ComboToText(const HotkeyCombo& combo);
// The combo a stored text describes (normal form); pieces that are not whole decimal codes of at
// most 255 are skipped.
HotkeyCombo ComboFromText(std::string_view text);

// Never fails: a missing, empty, invalid or Esc-holding combo keeps its default, and a menu
// shortcut equal to the save shortcut is replaced by the first free one of Ctrl + Shift + F10,
// F10, Ctrl + Alt + F10, Ctrl + Shift + Alt + F10.
ShortcutPair ReadShortcuts(const ProfileStore& store = UserSettings());
bool WriteShortcuts(const ShortcutPair& shortcuts, const ProfileStore& store = UserSettings());

}  // namespace halvex::settings
