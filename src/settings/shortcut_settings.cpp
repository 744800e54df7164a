#include "settings/shortcut_settings.h"

#include <vector>

namespace halvex::settings {

namespace {

constexpr std::string_view kShortcuts = "Shortcuts";
constexpr size_t kComboUnits = 255;

// wcstoul base 10 over a whole piece: leading blanks and one sign allowed, at least one digit,
// nothing left over. A negative number wraps to a huge value, as wcstoul does.
bool ParseCode(std::string_view piece, uint64_t& code) {
  size_t i = 0;
  while (i < piece.size() && (piece[i] == ' ' || (piece[i] >= '\t' && piece[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  const size_t digits = i;
  uint64_t value = 0;
  for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(piece[i] - '0');
    if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull + 1;  // stays out of range
  }
  if (i == digits || i != piece.size()) return false;
  code = negative && value != 0 ? 0xFFFFFFFFull : value;
  return true;
}

HotkeyCombo ReadCombo(const ProfileStore& store, std::string_view key,
                      const HotkeyCombo& fallback) {
  const std::string text = store.GetString(kShortcuts, key, "", kComboUnits);
  if (text.empty()) return fallback;
  const HotkeyCombo combo = ComboFromText(text);
  return combo.IsAcceptedShortcut() ? combo : fallback;
}

}  // namespace

std::string ComboToText(const HotkeyCombo& combo) {
  std::string out;
  for (VirtualKey key : combo.Keys()) {
    if (!out.empty()) out += ',';
    out += std::to_string(key);
  }
  return out;
}

HotkeyCombo ComboFromText(std::string_view text) {
  std::vector<int64_t> codes;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view piece = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    uint64_t code = 0;
    if (!piece.empty() && ParseCode(piece, code) && code <= 255) {
      codes.push_back(static_cast<int64_t>(code));
    }
  }
  return HotkeyCombo::FromCodes(std::span<const int64_t>(codes));
}

ShortcutPair ReadShortcuts(const ProfileStore& store) {
  ShortcutPair pair;
  pair.saveClip = ReadCombo(store, "SaveClip", DefaultSaveClipCombo());
  pair.openMenu = ReadCombo(store, "OpenMenu", DefaultOpenMenuCombo());
  if (pair.openMenu == pair.saveClip) {
    const HotkeyCombo alternatives[] = {
        HotkeyCombo{kVkControl, kVkShift, kVkF10},
        HotkeyCombo{kVkF10},
        HotkeyCombo{kVkControl, kVkAlt, kVkF10},
        HotkeyCombo{kVkControl, kVkShift, kVkAlt, kVkF10},
    };
    for (const HotkeyCombo& alternative : alternatives) {
      if (alternative != pair.saveClip) {
        pair.openMenu = alternative;
        break;
      }
    }
  }
  return pair;
}

bool WriteShortcuts(const ShortcutPair& shortcuts, const ProfileStore& store) {
  bool ok = store.WriteString(kShortcuts, "SaveClip", ComboToText(shortcuts.saveClip));
  ok &= store.WriteString(kShortcuts, "OpenMenu", ComboToText(shortcuts.openMenu));
  return ok;
}

}  // namespace halvex::settings
