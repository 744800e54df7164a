#pragma once
// A global shortcut: up to four Windows virtual-key codes, always kept in normal form.
// Settings store these codes on every platform.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace halvex {

using VirtualKey = uint32_t;

inline constexpr VirtualKey kVkShift = 16;
inline constexpr VirtualKey kVkControl = 17;
inline constexpr VirtualKey kVkAlt = 18;
inline constexpr VirtualKey kVkEscape = 27;
inline constexpr VirtualKey kVkLeftWin = 91;
inline constexpr VirtualKey kVkRightWin = 92;
inline constexpr VirtualKey kVkLeftShift = 160;
inline constexpr VirtualKey kVkRightShift = 161;
inline constexpr VirtualKey kVkLeftControl = 162;
inline constexpr VirtualKey kVkRightControl = 163;
inline constexpr VirtualKey kVkLeftAlt = 164;
inline constexpr VirtualKey kVkRightAlt = 165;
inline constexpr VirtualKey kVkF8 = 119;
inline constexpr VirtualKey kVkF10 = 121;

// Codes a combo may hold: 1..255.
inline constexpr bool IsStorableKey(int64_t code) { return code > 0 && code < 256; }

// Left/right variants of Shift, Ctrl, Alt and Windows become one code (16, 17, 18, 91); every other
// code is returned unchanged (also out-of-range ones, which callers drop with IsStorableKey).
int64_t FoldKeyVariant(int64_t code);

// Shift, Ctrl, Alt, Windows and their left/right variants. Any other key is a main key.
bool IsModifierKey(int64_t code);

class HotkeyCombo {
 public:
  static constexpr size_t kMaxKeys = 4;

  enum class Verdict {
    kAccepted,
    kNoMainKey,        // empty, or modifiers only
    kEscapeReserved,   // holds Esc
  };

  HotkeyCombo() = default;
  // Normal form of the list, read in its order: fold variants, drop 0 and codes of 256 or more
  // (and negative ones), drop repeats, keep the first four, sort ascending.
  HotkeyCombo(std::initializer_list<int64_t> codes);
  static HotkeyCombo FromCodes(std::span<const int64_t> codes);
  static HotkeyCombo FromCodes(std::span<const VirtualKey> codes);
  static HotkeyCombo FromCodes(std::span<const int> codes);

  // The normal form: ascending, distinct, folded, 0..4 entries.
  std::span<const VirtualKey> Keys() const { return {keys_.data(), size_}; }
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }
  bool Contains(VirtualKey code) const;

  size_t MainKeyCount() const;
  bool HasMainKey() const { return MainKeyCount() > 0; }
  bool ContainsEscape() const { return Contains(kVkEscape); }

  // One to four keys with at least one main key.
  bool IsValid() const { return size_ >= 1 && HasMainKey(); }
  // What a shortcut may take: valid and without Esc. Settings readers and the capture use this.
  Verdict Judge() const;
  bool IsAcceptedShortcut() const { return Judge() == Verdict::kAccepted; }

  // Equal when the normal forms are equal element by element.
  friend bool operator==(const HotkeyCombo&, const HotkeyCombo&) = default;

 private:
  template <typename T>
  static HotkeyCombo Build(std::span<const T> codes);

  std::array<VirtualKey, kMaxKeys> keys_{};  // unused entries stay 0
  uint8_t size_ = 0;
};

// Defaults: save clip = F8, open menu = Ctrl + Shift + F10.
HotkeyCombo DefaultSaveClipCombo();
HotkeyCombo DefaultOpenMenuCombo();

}  // namespace halvex
