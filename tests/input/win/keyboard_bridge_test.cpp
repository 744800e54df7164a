// The bridge under injected input: RegisterHotKey for one main key, the hook for two.
#include "input/win/keyboard_bridge.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace halvex {
namespace {

// F13..F16 and the right Ctrl: keys nobody else presses on a test machine.
constexpr VirtualKey kF13 = 124, kF14 = 125, kF15 = 126, kF16 = 127;
constexpr auto kSave = BridgeShortcut::kSaveClip;
constexpr auto kMenu = BridgeShortcut::kOpenMenu;

void SendKey(WORD vk, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (vk == VK_RCONTROL ? KEYEVENTF_EXTENDEDKEY : 0);
  ASSERT_EQ(SendInput(1, &input, sizeof(input)), 1u);
}

// Input reaches the bridge thread asynchronously: wait for a trigger, or let a quiet spell pass.
bool WaitTrigger(KeyboardBridge& bridge, BridgeShortcut s, int spins = 200) {
  for (int i = 0; i < spins; ++i) {
    if (bridge.TakeTrigger(s)) return true;
    Sleep(10);
  }
  return false;
}
bool QuietFor(KeyboardBridge& bridge, BridgeShortcut s) { return !WaitTrigger(bridge, s, 30); }

TEST(KeyboardBridgeTest, RegisteredAndHookOnlyShortcutsFireOncePerPress) {
  KeyboardBridge bridge;
  ASSERT_TRUE(bridge.Start(HotkeyCombo{kVkControl, kF13}, HotkeyCombo{kF14, kF15}));
  EXPECT_TRUE(bridge.Running());
  EXPECT_TRUE(bridge.IsRegistered(kSave));
  EXPECT_FALSE(bridge.IsRegistered(kMenu));  // two main keys

  // Registered: WM_HOTKEY. Wine 8 sends it again for a repeated key down despite MOD_NOREPEAT,
  // so the hold is checked on the hook's path below, where the latch does the work.
  SendKey(VK_RCONTROL, true);
  SendKey(kF13, true);
  EXPECT_TRUE(WaitTrigger(bridge, kSave));
  SendKey(kF13, false);
  EXPECT_TRUE(QuietFor(bridge, kSave));
  SendKey(kF13, true);
  EXPECT_TRUE(WaitTrigger(bridge, kSave));
  SendKey(kF13, false);
  SendKey(VK_RCONTROL, false);

  // Hook only: the latch holds it to one trigger per press.
  SendKey(kF14, true);
  SendKey(kF15, true);
  EXPECT_TRUE(WaitTrigger(bridge, kMenu));
  SendKey(kF15, true);
  EXPECT_TRUE(QuietFor(bridge, kMenu));
  SendKey(kF15, false);
  SendKey(kF15, true);
  EXPECT_TRUE(WaitTrigger(bridge, kMenu));
  SendKey(kF15, false);
  SendKey(kF14, false);
  EXPECT_FALSE(bridge.TakeTrigger(kSave));
}

TEST(KeyboardBridgeTest, UpdatedCombosAreRegisteredAgain) {
  KeyboardBridge bridge;
  ASSERT_TRUE(bridge.Start(HotkeyCombo{kF13}, HotkeyCombo{kF14, kF15}));
  bridge.UpdateCombos(HotkeyCombo{kF14, kF15}, HotkeyCombo{kF16});
  bool registered = false;
  for (int i = 0; i < 200 && !registered; ++i) {
    registered = bridge.IsRegistered(kMenu) && !bridge.IsRegistered(kSave);
    if (!registered) Sleep(10);
  }
  ASSERT_TRUE(registered);

  SendKey(kF16, true);
  EXPECT_TRUE(WaitTrigger(bridge, kMenu));
  SendKey(kF16, false);
  // F13 was unregistered with the old pair.
  SendKey(kF13, true);
  SendKey(kF13, false);
  EXPECT_TRUE(QuietFor(bridge, kSave));
  SendKey(kF14, true);
  SendKey(kF15, true);
  EXPECT_TRUE(WaitTrigger(bridge, kSave));
  SendKey(kF15, false);
  SendKey(kF14, false);
}

TEST(KeyboardBridgeTest, StopsCleanlyAndStartsAgain) {
  KeyboardBridge first;
  ASSERT_TRUE(first.Start(HotkeyCombo{kF13}, HotkeyCombo{kF16}));
  // One hook per process: a second bridge is refused while the first runs.
  KeyboardBridge second;
  EXPECT_FALSE(second.Start(HotkeyCombo{kF14}, HotkeyCombo{kF15}));
  EXPECT_FALSE(second.Running());
  first.Stop();
  EXPECT_FALSE(first.Running());

  // Its hotkey is free again: the second bridge can take F13 itself.
  ASSERT_TRUE(second.Start(HotkeyCombo{kF13}, HotkeyCombo{kF15}));
  EXPECT_TRUE(second.IsRegistered(kSave));
  SendKey(kF13, true);
  SendKey(kF13, false);
  EXPECT_TRUE(WaitTrigger(second, kSave));
  EXPECT_FALSE(first.TakeTrigger(kSave));
}

}  // namespace
}  // namespace halvex
