#include "input/key_state.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

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

// Key events between two reads of the keyboard, and how many times the shortcut fires over the
// reads. A read is one pass of the loop; a slow pass can hold a whole press.
TEST(KeyStateTest, EventsBetweenReadsFireOncePerPress) {
  const HotkeyCombo save{kVkF8};
  const HotkeyCombo menu = DefaultOpenMenuCombo();
  // 'P' press, 'R' release, 'S' the system says down now, '|' a read.
  struct Case {
    const char* what;
    HotkeyCombo combo;
    std::vector<std::pair<char, VirtualKey>> events;
    int fires;
  };
  const Case cases[] = {
      {"tap shorter than a pass", save, {{'P', kVkF8}, {'R', kVkF8}, {'|', 0}, {'|', 0}}, 1},
      {"held across passes", save, {{'P', kVkF8}, {'|', 0}, {'|', 0}, {'R', kVkF8}, {'|', 0}}, 1},
      {"two taps in two passes",
       save,
       {{'P', kVkF8}, {'R', kVkF8}, {'|', 0}, {'P', kVkF8}, {'R', kVkF8}, {'|', 0}},
       2},
      {"released and pressed again within one pass",
       save,
       {{'P', kVkF8}, {'|', 0}, {'R', kVkF8}, {'P', kVkF8}, {'|', 0}},
       2},
      {"repeats of a held key", save, {{'P', kVkF8}, {'|', 0}, {'P', kVkF8}, {'P', kVkF8}, {'|', 0}}, 1},
      {"seen down by the system and by its event", save, {{'S', kVkF8}, {'P', kVkF8}, {'|', 0}, {'|', 0}}, 1},
      {"combo tapped within one pass",
       menu,
       {{'P', kVkLeftControl}, {'P', kVkRightShift}, {'P', kVkF10}, {'R', kVkF10},
        {'R', kVkRightShift}, {'R', kVkLeftControl}, {'|', 0}, {'|', 0}},
       1},
      {"main key tapped while modifiers are held",
       menu,
       {{'P', kVkControl}, {'P', kVkShift}, {'|', 0}, {'P', kVkF10}, {'R', kVkF10}, {'|', 0},
        {'P', kVkF10}, {'R', kVkF10}, {'|', 0}},
       2},
      {"one key of the combo missing",
       menu,
       {{'P', kVkControl}, {'P', kVkF10}, {'R', kVkF10}, {'|', 0}, {'|', 0}},
       0},
      {"other keys only", save, {{'P', kVkF10}, {'R', kVkF10}, {'|', 0}}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyEventTable keys;
    ComboEdge edge;
    int fires = 0;
    for (const auto& [kind, key] : c.events) {
      switch (kind) {
        case 'P': keys.Press(key); break;
        case 'R': keys.Release(key); break;
        case 'S': keys.SetDown(key, true); break;
        case '|':
          keys.Publish();
          fires += edge.Poll(c.combo, keys) ? 1 : 0;
          break;
      }
    }
    EXPECT_EQ(fires, c.fires);
  }
}

TEST(KeyStateTest, SamplingSourcesNeverReportAPressTheyDidNotSee) {
  KeyDownTable sampled;
  sampled.Press(kVkF8);
  sampled.Release(kVkF8);
  EXPECT_FALSE(sampled.WentDown(kVkF8));
  KeyEventTable events;
  events.Press(300);  // outside the table: ignored
  events.Publish();
  EXPECT_FALSE(events.WentDown(300));
  EXPECT_FALSE(events.IsDown(300));
}

}  // namespace
}  // namespace halvex
