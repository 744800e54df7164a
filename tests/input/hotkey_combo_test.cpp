#include "input/hotkey_combo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace halvex {
namespace {

std::vector<VirtualKey> KeysOf(const HotkeyCombo& combo) {
  return {combo.Keys().begin(), combo.Keys().end()};
}

TEST(HotkeyComboTest, NormalFormFoldsDropsDeduplicatesAndSorts) {
  // Right Ctrl, left Shift, F10 in any order and any variant give Shift, Ctrl, F10.
  EXPECT_EQ(KeysOf(HotkeyCombo{121, 163, 160}), (std::vector<VirtualKey>{16, 17, 121}));
  EXPECT_EQ(KeysOf(HotkeyCombo{92, 165, 164, 162}), (std::vector<VirtualKey>{17, 18, 91}));
  // Left and right variants are one key once folded.
  EXPECT_EQ(KeysOf(HotkeyCombo{160, 161, 16, 65}), (std::vector<VirtualKey>{16, 65}));
  // 0, negative codes and codes of 256 or more never enter a combo.
  EXPECT_EQ(KeysOf(HotkeyCombo{0, -1, 256, 1000, 66, 255}), (std::vector<VirtualKey>{66, 255}));
  EXPECT_TRUE(HotkeyCombo({0, 256, -17}).Empty());
}

TEST(HotkeyComboTest, KeepsTheFirstFourUsableCodesInListOrder) {
  // Dropped and repeated codes do not use up the four places; the cut happens before sorting.
  EXPECT_EQ(KeysOf(HotkeyCombo{0, 90, 90, 300, 80, 161, 70, 60, 50}),
            (std::vector<VirtualKey>{16, 70, 80, 90}));
  const std::vector<int> parsed{68, 67, 66, 65, 64};
  EXPECT_EQ(KeysOf(HotkeyCombo::FromCodes(parsed)), (std::vector<VirtualKey>{65, 66, 67, 68}));
  // A huge unsigned code must not wrap into a valid one.
  const std::vector<VirtualKey> raw{0xFFFFFFFFu, 0x100000041u & 0xFFFFFFFFu, 119};
  EXPECT_EQ(KeysOf(HotkeyCombo::FromCodes(raw)), (std::vector<VirtualKey>{65, 119}));
  const std::vector<int64_t> wide{(int64_t{1} << 32) + 65, 119};
  EXPECT_EQ(KeysOf(HotkeyCombo::FromCodes(wide)), (std::vector<VirtualKey>{119}));
}

TEST(HotkeyComboTest, ModifierAndMainKeys) {
  for (const int64_t code : {16, 17, 18, 91, 92, 160, 161, 162, 163, 164, 165}) {
    EXPECT_TRUE(IsModifierKey(code)) << code;
  }
  for (const int64_t code : {15, 19, 20, 27, 90, 93, 159, 166, 0, 256}) {
    EXPECT_FALSE(IsModifierKey(code)) << code;
  }
  EXPECT_EQ(HotkeyCombo({16, 17, 65, 66}).MainKeyCount(), 2u);
  EXPECT_EQ(HotkeyCombo({16, 17}).MainKeyCount(), 0u);
}

TEST(HotkeyComboTest, JudgesShortcuts) {
  using V = HotkeyCombo::Verdict;
  EXPECT_EQ(DefaultSaveClipCombo().Judge(), V::kAccepted);
  EXPECT_EQ(DefaultOpenMenuCombo().Judge(), V::kAccepted);
  EXPECT_EQ(HotkeyCombo({65, 66}).Judge(), V::kAccepted);
  EXPECT_EQ(HotkeyCombo().Judge(), V::kNoMainKey);
  EXPECT_EQ(HotkeyCombo({160, 17}).Judge(), V::kNoMainKey);
  // The main key arrives fifth and is cut: what is left is modifiers only.
  const HotkeyCombo cut{16, 17, 18, 91, 65};
  EXPECT_FALSE(cut.IsValid());
  EXPECT_EQ(cut.Judge(), V::kNoMainKey);
  // Esc is a main key, so the combo is valid, but no shortcut may take it.
  const HotkeyCombo esc{17, 27};
  EXPECT_TRUE(esc.IsValid());
  EXPECT_EQ(esc.Judge(), V::kEscapeReserved);
  EXPECT_FALSE(HotkeyCombo({27}).IsAcceptedShortcut());
}

TEST(HotkeyComboTest, EqualityComparesNormalForms) {
  EXPECT_EQ(HotkeyCombo({17, 16, 121}), HotkeyCombo({162, 161, 121}));
  EXPECT_EQ(DefaultOpenMenuCombo(), HotkeyCombo({121, 160, 163}));
  EXPECT_EQ(HotkeyCombo({92, 65}), HotkeyCombo({65, 91}));
  EXPECT_EQ(HotkeyCombo({0, 300}), HotkeyCombo());
  EXPECT_NE(HotkeyCombo({17, 121}), HotkeyCombo({17, 16, 121}));
  EXPECT_NE(DefaultSaveClipCombo(), HotkeyCombo({120}));
  EXPECT_EQ(KeysOf(DefaultSaveClipCombo()), std::vector<VirtualKey>{119});
}

}  // namespace
}  // namespace halvex
