#include "input/vk_keysym_table.h"

// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <string>

namespace halvex {
namespace {

TEST(VkKeysymTableTest, EveryEntryIsARealKeysym) {
  int known = 0;
  for (VirtualKey vk = 0; vk < 256; ++vk) {
    const VkKeysyms syms = KeysymsForVirtualKey(vk);
    for (const Keysym sym : {syms.primary, syms.alternate}) {
      if (sym == 0) continue;
      EXPECT_NE(XKeysymToString(static_cast<KeySym>(sym)), nullptr) << "vk " << vk << " keysym " << sym;
    }
    if (syms.primary != 0) ++known;
  }
  // Letters, digits, keypad, F-keys and the usual named keys.
  EXPECT_GT(known, 130);
}

TEST(VkKeysymTableTest, MapsKeyFamiliesToTheirKeysyms) {
  EXPECT_EQ(KeysymsForVirtualKey('A').primary, static_cast<Keysym>(XK_a));
  EXPECT_EQ(KeysymsForVirtualKey('Z').alternate, static_cast<Keysym>(XK_Z));
  EXPECT_EQ(KeysymsForVirtualKey('7').primary, static_cast<Keysym>(XK_7));
  EXPECT_EQ(KeysymsForVirtualKey(0x60).primary, static_cast<Keysym>(XK_KP_0));
  EXPECT_EQ(KeysymsForVirtualKey(0x69).primary, static_cast<Keysym>(XK_KP_9));
  EXPECT_EQ(KeysymsForVirtualKey(112).primary, static_cast<Keysym>(XK_F1));
  EXPECT_EQ(KeysymsForVirtualKey(135).primary, static_cast<Keysym>(XK_F24));
  EXPECT_EQ(KeysymsForVirtualKey(kVkShift).primary, static_cast<Keysym>(XK_Shift_L));
  EXPECT_EQ(KeysymsForVirtualKey(kVkShift).alternate, static_cast<Keysym>(XK_Shift_R));
  EXPECT_EQ(KeysymsForVirtualKey(kVkRightControl).primary, static_cast<Keysym>(XK_Control_R));
  EXPECT_EQ(KeysymsForVirtualKey(kVkEscape).primary, static_cast<Keysym>(XK_Escape));
  EXPECT_EQ(KeysymsForVirtualKey(46).primary, static_cast<Keysym>(XK_Delete));
  EXPECT_EQ(KeysymsForVirtualKey(7).primary, 0u);
  EXPECT_EQ(KeysymsForVirtualKey(256).primary, 0u);
}

}  // namespace
}  // namespace halvex
