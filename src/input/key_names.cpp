#include "input/key_names.h"

#include <string_view>

#include "input/key_name_platform.h"

namespace halvex {
namespace {

const char* FixedName(VirtualKey code) {
  switch (code) {
    case 8: return "Backspace";
    case 9: return "Tab";
    case 13: return "Enter";
    case 16: return "Shift";
    case 17: return "Ctrl";
    case 18: return "Alt";
    case 20: return "CapsLock";
    case 27: return "Esc";
    case 32: return "Espacio";
    case 33: return "PageUp";
    case 34: return "PageDown";
    case 35: return "End";
    case 36: return "Home";
    case 37: return "Left";
    case 38: return "Up";
    case 39: return "Right";
    case 40: return "Down";
    case 45: return "Insert";
    case 46: return "Delete";
    case 91: return "Win";
    case 93: return "Menu";
    case 144: return "NumLock";
    case 145: return "ScrollLock";
    default: return nullptr;
  }
}

std::string JoinNames(const HotkeyCombo& combo, std::string_view separator) {
  if (combo.Empty()) return "Sin asignar";
  std::string out;
  for (const VirtualKey key : combo.Keys()) {
    if (!out.empty()) out += separator;
    out += KeyDisplayName(key);
  }
  return out;
}

}  // namespace

std::string KeyDisplayName(VirtualKey code) {
  if (const char* fixed = FixedName(code)) return fixed;
  if ((code >= '0' && code <= '9') || (code >= 'A' && code <= 'Z')) {
    return std::string(1, static_cast<char>(code));
  }
  if (code >= 112 && code <= 135) return "F" + std::to_string(code - 111);
  // Codes outside 1..255 are not keys; the layout has nothing to say about them.
  if (IsStorableKey(code)) {
    std::string name = platform::LayoutKeyName(code);
    if (!name.empty()) return name;
  }
  return "VK_" + std::to_string(code);
}

std::string ComboDisplayText(const HotkeyCombo& combo) { return JoinNames(combo, " + "); }
std::string ComboCompactText(const HotkeyCombo& combo) { return JoinNames(combo, "+"); }

}  // namespace halvex
