#pragma once
// How keys and shortcuts are shown in the menus, the overlay and the log.
#include <string>

#include "input/hotkey_combo.h"

namespace halvex {

// Fixed names for common keys, the character for digits and letters, F1..F24; any other code asks
// the keyboard layout; "VK_<code>" when nothing is known.
std::string KeyDisplayName(VirtualKey code);

// The combo's keys joined by " + " (menus, log); "Sin asignar" when empty.
std::string ComboDisplayText(const HotkeyCombo& combo);
// Joined by "+" without blanks (the overlay's compact label); "Sin asignar" when empty.
std::string ComboCompactText(const HotkeyCombo& combo);

}  // namespace halvex
