// GoogleTest before the X headers: their macros (None, Bool, ...) break its templates.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "input/linux/x11_key_state.h"

#include "x_server.h"

namespace halvex {
namespace {

class X11KeyStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(testing::BareXServer().Name().empty()) << "no X server";
    d = XOpenDisplay(testing::BareXServer().Name().c_str());
    ASSERT_NE(d, nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    ASSERT_TRUE(XTestQueryExtension(d, &event, &error, &major, &minor));
    keys = X11KeyState::Open(testing::BareXServer().Name().c_str());
    ASSERT_NE(keys, nullptr);
  }
  void TearDown() override {
    if (d != nullptr) XCloseDisplay(d);
  }
  void Key(KeySym sym, bool down) {
    const KeyCode code = XKeysymToKeycode(d, sym);
    ASSERT_NE(code, 0) << XKeysymToString(sym);
    XTestFakeKeyEvent(d, code, down ? True : False, CurrentTime);
    XSync(d, False);
  }
  Display* d = nullptr;
  std::unique_ptr<X11KeyState> keys;
};

TEST_F(X11KeyStateTest, ReportsPressedKeysFromTheLastRefresh) {
  ASSERT_TRUE(keys->Refresh());
  EXPECT_FALSE(keys->IsDown(kVkF8));
  Key(XK_F8, true);
  EXPECT_FALSE(keys->IsDown(kVkF8));  // not before the next poll
  ASSERT_TRUE(keys->Refresh());
  EXPECT_TRUE(keys->IsDown(kVkF8));
  EXPECT_FALSE(keys->IsDown(120));  // F9
  Key(XK_a, true);
  Key(XK_7, true);
  keys->Refresh();
  EXPECT_TRUE(keys->IsDown('A'));
  EXPECT_TRUE(keys->IsDown('7'));
  Key(XK_F8, false);
  Key(XK_a, false);
  Key(XK_7, false);
  keys->Refresh();
  EXPECT_FALSE(keys->IsDown(kVkF8));
  EXPECT_FALSE(keys->IsDown('A'));
  EXPECT_FALSE(keys->IsDown(300));
}

TEST_F(X11KeyStateTest, ModifiersHaveLeftAndRightVariants) {
  Key(XK_Shift_R, true);
  Key(XK_Control_L, true);
  keys->Refresh();
  EXPECT_TRUE(keys->IsDown(kVkShift));
  EXPECT_TRUE(keys->IsDown(kVkRightShift));
  EXPECT_FALSE(keys->IsDown(kVkLeftShift));
  EXPECT_TRUE(keys->IsDown(kVkControl));
  EXPECT_TRUE(keys->IsDown(kVkLeftControl));
  EXPECT_FALSE(keys->IsDown(kVkRightControl));
  Key(XK_F10, true);
  keys->Refresh();
  EXPECT_TRUE(IsComboHeld(DefaultOpenMenuCombo(), *keys));  // Ctrl+Shift+F10
  Key(XK_F10, false);
  Key(XK_Shift_R, false);
  Key(XK_Control_L, false);
  keys->Refresh();
  EXPECT_FALSE(keys->IsDown(kVkShift));
  EXPECT_FALSE(IsComboHeld(DefaultOpenMenuCombo(), *keys));
}

}  // namespace
}  // namespace halvex
