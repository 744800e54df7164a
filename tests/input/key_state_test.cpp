#include "input/key_state.h"

#include <gtest/gtest.h>

namespace halvex {
namespace {

TEST(KeyStateTest, ComboHeldAcceptsEitherModifierVariant) {
  const HotkeyCombo menu = DefaultOpenMenuCombo();
  KeyDownTable keys;
  keys.Press(kVkRightControl);
  keys.Press(kVkLeftShift);
  EXPECT_FALSE(IsComboHeld(menu, keys));
  keys.Press(kVkF10);
  EXPECT_TRUE(IsComboHeld(menu, keys));
  keys.Release(kVkRightControl);
  EXPECT_FALSE(IsComboHeld(menu, keys));
  keys.Press(kVkControl);  // a source that reports only the generic code
  EXPECT_TRUE(IsComboHeld(menu, keys));

  KeyDownTable win;
  win.Press(kVkRightWin);
  win.Press('D');
  EXPECT_TRUE(IsComboHeld(HotkeyCombo({kVkLeftWin, 'D'}), win));
  EXPECT_TRUE(IsComboHeld(HotkeyCombo({kVkRightWin, 'D'}), win));
  EXPECT_FALSE(IsComboHeld(HotkeyCombo({kVkAlt, 'D'}), win));
}

TEST(KeyStateTest, EmptyComboIsNeverHeld) {
  KeyDownTable keys;
  for (VirtualKey code = 1; code < 256; ++code) keys.Press(code);
  EXPECT_FALSE(IsComboHeld(HotkeyCombo(), keys));
  EXPECT_TRUE(IsComboHeld(HotkeyCombo({65, 66, 67, 68}), keys));
  keys.Press(256);  // outside the table: ignored, never down
  EXPECT_FALSE(keys.IsDown(256));
  keys.Clear();
  EXPECT_FALSE(keys.IsDown(255));
}

TEST(KeyStateTest, EdgeFiresOncePerPress) {
  const HotkeyCombo menu = DefaultOpenMenuCombo();
  KeyDownTable keys;
  ComboEdge edge;
  keys.Press(kVkRightControl);
  keys.Press(kVkLeftShift);
  EXPECT_FALSE(edge.Poll(menu, keys));
  keys.Press(kVkF10);
  EXPECT_TRUE(edge.Poll(menu, keys));
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(edge.Poll(menu, keys));  // held longer: no repeat
  keys.Release(kVkF10);
  EXPECT_FALSE(edge.Poll(menu, keys));
  keys.Press(kVkF10);
  EXPECT_TRUE(edge.Poll(menu, keys));
}

TEST(KeyStateTest, ResetTakesTheCurrentStateAsPrevious) {
  // The user just assigned a combo that is still held: it must not fire until pressed again.
  const HotkeyCombo save{'G'};
  KeyDownTable keys;
  keys.Press('G');
  ComboEdge edge;
  edge.Reset(IsComboHeld(save, keys));
  EXPECT_FALSE(edge.Poll(save, keys));
  keys.Release('G');
  EXPECT_FALSE(edge.Poll(save, keys));
  keys.Press('G');
  EXPECT_TRUE(edge.Poll(save, keys));
}

}  // namespace
}  // namespace halvex
