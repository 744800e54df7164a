#include "input/hotkey_bridge_rules.h"

namespace halvex {

int HotkeyIdOf(BridgeShortcut shortcut) {
  return shortcut == BridgeShortcut::kSaveClip ? kSaveClipHotkeyId : kOpenMenuHotkeyId;
}

std::optional<BridgeShortcut> ShortcutOfHotkeyId(int64_t id) {
  if (id == kSaveClipHotkeyId) return BridgeShortcut::kSaveClip;
  if (id == kOpenMenuHotkeyId) return BridgeShortcut::kOpenMenu;
  return std::nullopt;
}

std::optional<HotkeyRegistration> PlanHotkeyRegistration(const HotkeyCombo& combo) {
  HotkeyRegistration plan;
  size_t mainKeys = 0;
  for (const VirtualKey key : combo.Keys()) {
    switch (key) {
      case kVkAlt: plan.modifiers |= kHotkeyModAlt; break;
      case kVkControl: plan.modifiers |= kHotkeyModControl; break;
      case kVkShift: plan.modifiers |= kHotkeyModShift; break;
      case kVkLeftWin: plan.modifiers |= kHotkeyModWin; break;
      default:
        ++mainKeys;
        plan.key = key;
    }
  }
  if (mainKeys != 1) return std::nullopt;
  plan.modifiers |= kHotkeyModNoRepeat;
  return plan;
}

std::string BridgeStartLogLine(bool running, uint32_t build) {
  if (running) {
    return "[W10-HOTKEY] Puente global de teclado activo para Windows 10 (build " +
           std::to_string(build) + ").";
  }
  return "[W10-HOTKEY] AVISO: no se pudo instalar el puente global; se mantiene el metodo de "
         "teclado existente como fallback.";
}

void HotkeyBridgeState::Reset(const HotkeyCombo& save, const HotkeyCombo& menu) {
  std::lock_guard keysLock(keysMutex_);
  std::lock_guard combosLock(combosMutex_);
  keys_.Clear();
  combos_ = {save, menu};
  latches_ = {};
  for (auto& t : triggers_) t.store(0);
  for (auto& r : registered_) r.store(false);
}

void HotkeyBridgeState::UpdateCombos(const HotkeyCombo& save, const HotkeyCombo& menu) {
  std::lock_guard keysLock(keysMutex_);
  std::lock_guard combosLock(combosMutex_);
  combos_ = {save, menu};
  latches_ = {};
  for (auto& r : registered_) r.store(false);
}

HotkeyCombo HotkeyBridgeState::Combo(BridgeShortcut shortcut) const {
  std::lock_guard lock(combosMutex_);
  return combos_[Index(shortcut)];
}

void HotkeyBridgeState::OnKeyEvent(VirtualKey code, bool down) {
  if (code > 255) return;
  std::lock_guard keysLock(keysMutex_);
  keys_.Set(code, down);
  std::lock_guard combosLock(combosMutex_);
  for (size_t i = 0; i < combos_.size(); ++i) {
    const bool held = IsComboHeld(combos_[i], keys_);
    if (!held) {
      latches_[i] = false;
      continue;
    }
    // A key going up never starts a press; a registered shortcut arrives as WM_HOTKEY instead.
    if (down && !latches_[i] && !registered_[i].load()) {
      latches_[i] = true;
      triggers_[i].store(1);
    }
  }
}

void HotkeyBridgeState::Fire(BridgeShortcut shortcut) { triggers_[Index(shortcut)].store(1); }

bool HotkeyBridgeState::TakeTrigger(BridgeShortcut shortcut) {
  return triggers_[Index(shortcut)].exchange(0) != 0;
}

void HotkeyBridgeState::SetRegistered(BridgeShortcut shortcut, bool registered) {
  registered_[Index(shortcut)].store(registered);
}

bool HotkeyBridgeState::IsRegistered(BridgeShortcut shortcut) const {
  return registered_[Index(shortcut)].load();
}

}  // namespace halvex
