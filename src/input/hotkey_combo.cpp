#include "input/hotkey_combo.h"

#include <algorithm>

namespace halvex {

int64_t FoldKeyVariant(int64_t code) {
  switch (code) {
    case kVkRightWin: return kVkLeftWin;
    case kVkLeftShift:
    case kVkRightShift: return kVkShift;
    case kVkLeftControl:
    case kVkRightControl: return kVkControl;
    case kVkLeftAlt:
    case kVkRightAlt: return kVkAlt;
    default: return code;
  }
}

bool IsModifierKey(int64_t code) {
  return code == kVkShift || code == kVkControl || code == kVkAlt || code == kVkLeftWin ||
         code == kVkRightWin || (code >= kVkLeftShift && code <= kVkRightAlt);
}

template <typename T>
HotkeyCombo HotkeyCombo::Build(std::span<const T> codes) {
  HotkeyCombo combo;
  for (const T raw : codes) {
    if (combo.size_ == kMaxKeys) break;
    const int64_t code = FoldKeyVariant(static_cast<int64_t>(raw));
    if (!IsStorableKey(code)) continue;
    const auto key = static_cast<VirtualKey>(code);
    if (combo.Contains(key)) continue;
    combo.keys_[combo.size_++] = key;
  }
  std::sort(combo.keys_.begin(), combo.keys_.begin() + combo.size_);
  return combo;
}

HotkeyCombo::HotkeyCombo(std::initializer_list<int64_t> codes)
    : HotkeyCombo(Build(std::span<const int64_t>(codes.begin(), codes.size()))) {}

HotkeyCombo HotkeyCombo::FromCodes(std::span<const int64_t> codes) { return Build(codes); }
HotkeyCombo HotkeyCombo::FromCodes(std::span<const VirtualKey> codes) { return Build(codes); }
HotkeyCombo HotkeyCombo::FromCodes(std::span<const int> codes) { return Build(codes); }

bool HotkeyCombo::Contains(VirtualKey code) const {
  return std::find(keys_.begin(), keys_.begin() + size_, code) != keys_.begin() + size_;
}

size_t HotkeyCombo::MainKeyCount() const {
  return static_cast<size_t>(
      std::count_if(keys_.begin(), keys_.begin() + size_, [](VirtualKey k) { return !IsModifierKey(k); }));
}

HotkeyCombo::Verdict HotkeyCombo::Judge() const {
  if (!IsValid()) return Verdict::kNoMainKey;
  if (ContainsEscape()) return Verdict::kEscapeReserved;
  return Verdict::kAccepted;
}

HotkeyCombo DefaultSaveClipCombo() { return HotkeyCombo{kVkF8}; }
HotkeyCombo DefaultOpenMenuCombo() { return HotkeyCombo{kVkControl, kVkShift, kVkF10}; }

}  // namespace halvex
