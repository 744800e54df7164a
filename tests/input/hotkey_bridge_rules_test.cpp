#include "input/hotkey_bridge_rules.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

constexpr VirtualKey kA = 'A';
constexpr VirtualKey kB = 'B';
constexpr auto kSave = BridgeShortcut::kSaveClip;
constexpr auto kMenu = BridgeShortcut::kOpenMenu;

TEST(HotkeyRegistrationTest, OnlyOneMainKeyIsRegisteredWithItsModifiers) {
  const auto f8 = PlanHotkeyRegistration(DefaultSaveClipCombo());
  ASSERT_TRUE(f8);
  EXPECT_EQ(f8->key, kVkF8);
  EXPECT_EQ(f8->modifiers, kHotkeyModNoRepeat);

  const auto menu = PlanHotkeyRegistration(DefaultOpenMenuCombo());
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->key, kVkF10);
  EXPECT_EQ(menu->modifiers, kHotkeyModControl | kHotkeyModShift | kHotkeyModNoRepeat);

  // Right-hand variants fold into the same flags.
  const auto winAlt = PlanHotkeyRegistration(HotkeyCombo{kVkRightWin, kVkRightAlt, 'X'});
  ASSERT_TRUE(winAlt);
  EXPECT_EQ(winAlt->modifiers, kHotkeyModWin | kHotkeyModAlt | kHotkeyModNoRepeat);
  EXPECT_EQ(winAlt->key, VirtualKey{'X'});

  EXPECT_FALSE(PlanHotkeyRegistration(HotkeyCombo{kA, kB}));
  EXPECT_FALSE(PlanHotkeyRegistration(HotkeyCombo{kVkControl, kVkShift}));
  EXPECT_FALSE(PlanHotkeyRegistration(HotkeyCombo{}));
}

TEST(HotkeyRegistrationTest, IdentifiersMapBothWays) {
  EXPECT_EQ(HotkeyIdOf(kSave), 23633);
  EXPECT_EQ(HotkeyIdOf(kMenu), 23634);
  EXPECT_EQ(ShortcutOfHotkeyId(23633), kSave);
  EXPECT_EQ(ShortcutOfHotkeyId(23634), kMenu);
  EXPECT_FALSE(ShortcutOfHotkeyId(23635));
}

TEST(HotkeyBridgeStartTest, LogLines) {
  EXPECT_EQ(BridgeStartLogLine(true, 19045),
            "[W10-HOTKEY] Puente global de teclado activo para Windows 10 (build 19045).");
  EXPECT_EQ(BridgeStartLogLine(false, 19045),
            "[W10-HOTKEY] AVISO: no se pudo instalar el puente global; se mantiene el metodo de "
            "teclado existente como fallback.");
}

class HotkeyBridgeStateTest : public ::testing::Test {
 protected:
  void SetUp() override { state.Reset(DefaultSaveClipCombo(), DefaultOpenMenuCombo()); }
  HotkeyBridgeState state;
};

TEST_F(HotkeyBridgeStateTest, HeldComboFiresOnceUntilReleasedAndPressedAgain) {
  state.OnKeyEvent(kVkRightControl, true);
  state.OnKeyEvent(kVkLeftShift, true);
  EXPECT_FALSE(state.TakeTrigger(kMenu));
  state.OnKeyEvent(kVkF10, true);
  EXPECT_TRUE(state.TakeTrigger(kMenu));
  EXPECT_FALSE(state.TakeTrigger(kMenu));  // taking clears it
  EXPECT_FALSE(state.TakeTrigger(kSave));

  // Auto-repeat of the held key does not fire again.
  state.OnKeyEvent(kVkF10, true);
  state.OnKeyEvent(kVkF10, true);
  EXPECT_FALSE(state.TakeTrigger(kMenu));

  state.OnKeyEvent(kVkF10, false);
  EXPECT_FALSE(state.TakeTrigger(kMenu));
  state.OnKeyEvent(kVkF10, true);
  EXPECT_TRUE(state.TakeTrigger(kMenu));
}

TEST_F(HotkeyBridgeStateTest, ReleasingAModifierReArmsTheLatch) {
  state.OnKeyEvent(kVkLeftControl, true);
  state.OnKeyEvent(kVkRightShift, true);
  state.OnKeyEvent(kVkF10, true);
  ASSERT_TRUE(state.TakeTrigger(kMenu));
  state.OnKeyEvent(kVkRightShift, false);
  state.OnKeyEvent(kVkRightShift, true);
  EXPECT_TRUE(state.TakeTrigger(kMenu));
}

TEST_F(HotkeyBridgeStateTest, KeyUpThatCompletesTheStateNeverFires) {
  // Holding A+B and releasing a third key leaves A+B held, but only a key down starts a press.
  state.UpdateCombos(HotkeyCombo{kA, kB}, DefaultOpenMenuCombo());
  state.OnKeyEvent(kA, true);
  state.OnKeyEvent(kB, true);
  ASSERT_TRUE(state.TakeTrigger(kSave));
  state.OnKeyEvent('C', true);
  state.OnKeyEvent('C', false);
  EXPECT_FALSE(state.TakeTrigger(kSave));
}

TEST_F(HotkeyBridgeStateTest, RegisteredShortcutsComeOnlyFromTheHotkeyMessage) {
  state.SetRegistered(kSave, true);
  state.OnKeyEvent(kVkF8, true);
  EXPECT_FALSE(state.TakeTrigger(kSave));
  state.Fire(kSave);
  EXPECT_TRUE(state.TakeTrigger(kSave));
  EXPECT_FALSE(state.TakeTrigger(kSave));
}

TEST_F(HotkeyBridgeStateTest, UpdateClearsLatchesAndRegistrations) {
  state.SetRegistered(kSave, true);
  state.SetRegistered(kMenu, true);
  state.UpdateCombos(HotkeyCombo{kA, kB}, HotkeyCombo{kVkAlt, kA});
  EXPECT_FALSE(state.IsRegistered(kSave));
  EXPECT_FALSE(state.IsRegistered(kMenu));
  EXPECT_EQ(state.Combo(kSave), (HotkeyCombo{kA, kB}));

  // Keys held across the update stay in the table: completing the new combo fires.
  state.OnKeyEvent(kVkLeftAlt, true);
  state.OnKeyEvent(kA, true);
  EXPECT_TRUE(state.TakeTrigger(kMenu));
  state.OnKeyEvent(kB, true);
  EXPECT_TRUE(state.TakeTrigger(kSave));
  // The old F8 no longer does anything.
  state.OnKeyEvent(kVkF8, true);
  EXPECT_FALSE(state.TakeTrigger(kSave));
}

TEST_F(HotkeyBridgeStateTest, ResetForgetsHeldKeysAndPendingTriggers) {
  state.OnKeyEvent(kVkF8, true);
  state.Reset(DefaultSaveClipCombo(), DefaultOpenMenuCombo());
  EXPECT_FALSE(state.TakeTrigger(kSave));
  state.OnKeyEvent(kVkControl, true);
  state.OnKeyEvent(kVkShift, true);
  // F8's earlier key down was forgotten: releasing it is harmless and pressing it fires.
  state.OnKeyEvent(kVkF8, false);
  state.OnKeyEvent(kVkF8, true);
  EXPECT_TRUE(state.TakeTrigger(kSave));
  // Codes beyond the table never count.
  state.OnKeyEvent(300, true);
  EXPECT_FALSE(state.TakeTrigger(kMenu));
}

}  // namespace
}  // namespace halvex
