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

// A press and release between two reads (a slow pass of the loop) is still one press of F8.
TEST_F(X11KeyStateTest, ATapBetweenTwoReadsIsSeenOnce) {
  ASSERT_TRUE(keys->EventsAvailable());
  const HotkeyCombo save{kVkF8};
  ComboEdge edge;
  ASSERT_TRUE(keys->Refresh());
  EXPECT_FALSE(edge.Poll(save, *keys));
  Key(XK_F8, true);
  Key(XK_F8, false);
  ASSERT_TRUE(keys->Refresh());
  EXPECT_FALSE(keys->IsDown(kVkF8));
  EXPECT_TRUE(keys->WentDown(kVkF8));
  EXPECT_TRUE(edge.Poll(save, *keys));
  ASSERT_TRUE(keys->Refresh());
  EXPECT_FALSE(keys->WentDown(kVkF8));
  EXPECT_FALSE(edge.Poll(save, *keys));

  // Held over several reads: one press.
  Key(XK_F8, true);
  int fires = 0;
  for (int i = 0; i < 4; ++i) {
    keys->Refresh();
    fires += edge.Poll(save, *keys) ? 1 : 0;
  }
  Key(XK_F8, false);
  keys->Refresh();
  fires += edge.Poll(save, *keys) ? 1 : 0;
  EXPECT_EQ(fires, 1);
}

// Listening for raw key events takes nothing from the window that has the focus.
TEST_F(X11KeyStateTest, TheFocusedWindowStillGetsItsKeys) {
  const Window window = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 50, 50, 0, 0, 0);
  XSelectInput(d, window, KeyPressMask | StructureNotifyMask);
  XMapWindow(d, window);
  XEvent event;
  XWindowEvent(d, window, StructureNotifyMask, &event);
  while (event.type != MapNotify) XWindowEvent(d, window, StructureNotifyMask, &event);
  XSetInputFocus(d, window, RevertToParent, CurrentTime);
  XSync(d, False);
  Key(XK_F8, true);
  Key(XK_F8, false);
  keys->Refresh();
  EXPECT_TRUE(keys->WentDown(kVkF8));
  EXPECT_TRUE(XCheckWindowEvent(d, window, KeyPressMask, &event));
  XDestroyWindow(d, window);
  XSync(d, False);
}

}  // namespace
}  // namespace halvex
