#pragma once
// The keyboard bridge's rules, apart from the system calls that feed them: which shortcuts go to
// RegisterHotKey and with which modifier flags, and the key-down table with its per-shortcut
// latches that the low-level keyboard hook drives. Shared by the hook thread and the main loop.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "input/hotkey_combo.h"
#include "input/key_state.h"

namespace halvex {

enum class BridgeShortcut : uint8_t { kSaveClip = 0, kOpenMenu = 1 };

inline constexpr int kSaveClipHotkeyId = 23633;  // 0x5C51
inline constexpr int kOpenMenuHotkeyId = 23634;  // 0x5C52
inline constexpr uint32_t kHotkeyModAlt = 0x0001;
inline constexpr uint32_t kHotkeyModControl = 0x0002;
inline constexpr uint32_t kHotkeyModShift = 0x0004;
inline constexpr uint32_t kHotkeyModWin = 0x0008;
inline constexpr uint32_t kHotkeyModNoRepeat = 0x4000;

int HotkeyIdOf(BridgeShortcut shortcut);
std::optional<BridgeShortcut> ShortcutOfHotkeyId(int64_t id);

// What RegisterHotKey is given for a combo. Only a combo with exactly one main key can be
// registered; any other is left to the hook alone.
struct HotkeyRegistration {
  uint32_t modifiers = 0;  // MOD_* flags, MOD_NOREPEAT included
  VirtualKey key = 0;
};
std::optional<HotkeyRegistration> PlanHotkeyRegistration(const HotkeyCombo& combo);

// The start-up log line for the bridge: running or the fallback warning.
std::string BridgeStartLogLine(bool running, uint32_t build);

// The state the hook, the bridge thread and the main loop share. Lock order: key table, then
// combos (the hook and UpdateCombos both take them in that order).
class HotkeyBridgeState {
 public:
  // Stores both combos in normal form and clears the key table, latches, triggers and the
  // "registered" flags.
  void Reset(const HotkeyCombo& save, const HotkeyCombo& menu);
  // A new pair from the settings: latches and "registered" flags are cleared; the bridge thread
  // registers again afterwards.
  void UpdateCombos(const HotkeyCombo& save, const HotkeyCombo& menu);
  HotkeyCombo Combo(BridgeShortcut shortcut) const;

  // One low-level keyboard event. Codes above 255 are ignored.
  void OnKeyEvent(VirtualKey code, bool down);
  // WM_HOTKEY for a registered shortcut.
  void Fire(BridgeShortcut shortcut);
  // Reads and clears the trigger (the main loop's side).
  bool TakeTrigger(BridgeShortcut shortcut);

  void SetRegistered(BridgeShortcut shortcut, bool registered);
  bool IsRegistered(BridgeShortcut shortcut) const;

 private:
  static size_t Index(BridgeShortcut s) { return static_cast<size_t>(s); }

  mutable std::mutex keysMutex_;
  KeyDownTable keys_;                    // guarded by keysMutex_
  mutable std::mutex combosMutex_;
  std::array<HotkeyCombo, 2> combos_{};  // guarded by combosMutex_
  std::array<bool, 2> latches_{};        // guarded by both mutexes
  std::array<std::atomic<uint8_t>, 2> triggers_{};
  std::array<std::atomic<bool>, 2> registered_{};
};

}  // namespace halvex
