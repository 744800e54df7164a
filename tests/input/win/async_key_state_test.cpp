#include "input/win/async_key_state.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace halvex {
namespace {

void SendKey(WORD vk, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  // The right Ctrl is an extended key; without the flag it arrives as the left one.
  input.ki.dwFlags = (down ? 0 : KEYEVENTF_KEYUP) | (vk == VK_RCONTROL ? KEYEVENTF_EXTENDEDKEY : 0);
  ASSERT_EQ(SendInput(1, &input, sizeof(input)), 1u);
}

TEST(AsyncKeyStateTest, SeesInjectedKeysAndModifierVariants) {
  // F13 and the right Ctrl: keys nobody else presses on a test machine.
  AsyncKeyState keys;
  const HotkeyCombo combo{kVkControl, 124};
  ASSERT_FALSE(keys.IsDown(124));
  SendKey(VK_RCONTROL, true);
  SendKey(124, true);
  EXPECT_TRUE(keys.IsDown(124));
  EXPECT_TRUE(keys.IsDown(kVkRightControl));
  EXPECT_TRUE(IsComboHeld(combo, keys));
  SendKey(124, false);
  EXPECT_FALSE(keys.IsDown(124));
  EXPECT_FALSE(IsComboHeld(combo, keys));
  SendKey(VK_RCONTROL, false);
  EXPECT_FALSE(keys.IsDown(kVkRightControl));
  EXPECT_FALSE(keys.IsDown(0));
  EXPECT_FALSE(keys.IsDown(300));
}

}  // namespace
}  // namespace halvex
