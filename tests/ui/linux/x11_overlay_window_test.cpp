// The overlay's X11 window on a private X server: what it tells the window manager, where it goes,
// what it shows, that it never takes the focus or the mouse, and its timer.
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include "ui/linux/x11_overlay_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>

#include <memory>
#include <set>
#include <string>

#include "capture/linux/xvfb_server.h"
#include "core/clock.h"
#include "core/linux/x11_capture_mark.h"
#include "input/linux/x11_window_system.h"
#include "ui/linux/x_desktop.h"
#include "ui/overlay.h"
#include "ui/overlay_look.h"

namespace halvex {
namespace {

using testing::Near;
using testing::RootPixel;

constexpr Color kGame = Rgb(48, 80, 112);
const Rect kGameRect{200, 150, 840, 510};
// The badge's place over kGameRect: 14 pixels in from its top-right corner.
const Rect kBadge{840 - 210 - 14, 150 + 14, 840 - 14, 150 + 14 + 42};

std::string Property(Display* d, Window w, const char* name) {
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 64, False, AnyPropertyType, &type,
                         &format, &items, &after, &data) == Success &&
      data) {
    if (format == 8) out.assign(reinterpret_cast<char*>(data), items);
    if (format == 32 && type == XA_ATOM) {
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < items; ++i) {
        char* atomName = XGetAtomName(d, atoms[i]);
        out += std::string(out.empty() ? "" : " ") + atomName;
        XFree(atomName);
      }
    }
    if (format == 32 && type == XA_CARDINAL && items > 0) {
      out = std::to_string(*reinterpret_cast<const long*>(data));
    }
  }
  if (data) XFree(data);
  return out;
}

Rect Geometry(Display* d, Window w) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  return Rect{a.x, a.y, a.x + a.width, a.y + a.height};
}

bool IsTopOfStack(Display* d, Window w) {
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
  const bool top = count > 0 && children[count - 1] == w;
  if (children) XFree(children);
  return top;
}

class X11OverlayWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::SharedXvfb().Running()) << "Xvfb could not be started";
    display_ = XOpenDisplay(Name().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    for (Window w : created_) XDestroyWindow(display_, w);
    XCloseDisplay(display_);
  }
  static const std::string& Name() { return testing::SharedXvfb().Name(); }
  Window Game() {
    created_.push_back(testing::CreateGameWindow(display_, kGameRect, kGame));
    return created_.back();
  }
  // Both connections' requests carried out, and the window's events read.
  void Settle(X11OverlayWindow& overlay) {
    XSync(display_, False);
    overlay.Sync();
    overlay.Pump();
    overlay.Sync();
  }

  Display* display_ = nullptr;
  std::vector<Window> created_;
};

TEST_F(X11OverlayWindowTest, IsAHiddenUnmanagedNotificationThatCatchesNoInput) {
  X11OverlayWindow overlay(Name());
  ASSERT_TRUE(overlay.Create());
  const Window w = overlay.Id();
  overlay.Sync();

  XWindowAttributes a{};
  ASSERT_TRUE(XGetWindowAttributes(display_, w, &a));
  EXPECT_TRUE(a.override_redirect);
  EXPECT_EQ(a.map_state, IsUnmapped);
  EXPECT_EQ(Geometry(display_, w), (Rect{0, 0, 210, 42}));
  EXPECT_FALSE(overlay.IsShown());
  EXPECT_FALSE(overlay.HasAlpha()) << "no compositing manager runs here";

  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(display_, w, &hint));
  EXPECT_STREQ(hint.res_class, "HalvexOverlayWindow");
  XFree(hint.res_name);
  XFree(hint.res_class);
  EXPECT_EQ(Property(display_, w, "WM_NAME"), "Halvex Overlay");
  EXPECT_EQ(Property(display_, w, "_NET_WM_NAME"), "Halvex Overlay");
  EXPECT_EQ(Property(display_, w, "_NET_WM_WINDOW_TYPE"), "_NET_WM_WINDOW_TYPE_NOTIFICATION");
  EXPECT_NE(Property(display_, w, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE"), std::string::npos);
  EXPECT_EQ(Property(display_, w, x11::kExcludeFromCaptureAtom), "1");
  XWMHints* hints = XGetWMHints(display_, w);
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE(hints->flags & InputHint);
  EXPECT_FALSE(hints->input);
  XFree(hints);

  int count = -1, ordering = 0;
  XRectangle* input = XShapeGetRectangles(display_, w, ShapeInput, &count, &ordering);
  EXPECT_EQ(count, 0) << "the input shape must be empty";
  if (input) XFree(input);
}

TEST_F(X11OverlayWindowTest, PlaceMovesResizesShowsAndRaises) {
  X11OverlayWindow overlay(Name());
  ASSERT_TRUE(overlay.Create());
  const Rect places[] = {{600, 40, 810, 82}, {10, 600, 26, 616}, {900, 300, 1240, 366},
                         {900, 300, 1240, 366}};
  for (const Rect& r : places) {
    SCOPED_TRACE(r.left);
    // Something else raised meanwhile must end up below the badge.
    created_.push_back(testing::CreateGameWindow(display_, Rect{0, 0, 50, 50}, kGame));
    overlay.Place(r);
    Settle(overlay);
    EXPECT_EQ(Geometry(display_, overlay.Id()), r);
    XWindowAttributes a{};
    XGetWindowAttributes(display_, overlay.Id(), &a);
    EXPECT_EQ(a.map_state, IsViewable);
    EXPECT_TRUE(overlay.IsShown());
    overlay.RaiseTopMost();
    Settle(overlay);
    EXPECT_TRUE(IsTopOfStack(display_, overlay.Id()));
  }
  overlay.Hide();
  Settle(overlay);
  XWindowAttributes a{};
  XGetWindowAttributes(display_, overlay.Id(), &a);
  EXPECT_EQ(a.map_state, IsUnmapped);
  EXPECT_FALSE(overlay.IsShown());
  overlay.ShowNoActivate();
  Settle(overlay);
  XGetWindowAttributes(display_, overlay.Id(), &a);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(Geometry(display_, overlay.Id()), places[3]) << "shown where it was";
}

struct ShownBadge {
  const char* name;
  std::function<void(Overlay&, WindowId)> show;
  Color badge;
  Rect bounds;
};

TEST_F(X11OverlayWindowTest, TheBadgeDrivenByTheOverlayIsOnScreenOverTheGame) {
  auto windows = X11WindowSystem::Open(Name().c_str());
  ASSERT_NE(windows, nullptr);
  const Window game = Game();
  const std::vector<ShownBadge> cases = {
      {"saved", [](Overlay& o, WindowId g) { o.ShowSaved(g); }, overlay::kBadge, kBadge},
      {"message", [](Overlay& o, WindowId g) { o.ShowMessage(g, "Aun no listo... espera un instante"); },
       overlay::kMessageBadge, kBadge},
      {"progress",
       [](Overlay& o, WindowId g) { o.ShowProgress(g, "Creando copia para Discord", 42); },
       overlay::kProgressBadge, Rect{840 - 340 - 14, 164, 840 - 14, 164 + 66}},
  };
  for (const ShownBadge& c : cases) {
    SCOPED_TRACE(c.name);
    X11OverlayWindow window(Name());
    ASSERT_TRUE(window.Create());
    Overlay overlay(window, *windows);
    c.show(overlay, game);
    Settle(window);
    ASSERT_EQ(Geometry(display_, window.Id()), c.bounds);

    const Rect& b = c.bounds;
    const int mid = (b.top + b.bottom) / 2;
    EXPECT_TRUE(Near(RootPixel(display_, b.left + 5, c.name == std::string("progress") ? b.top + 12 : mid), c.badge));
    EXPECT_TRUE(Near(RootPixel(display_, b.right - 6, b.top + 12), c.badge));
    // The rounded corners and the key-coloured rim are cut away: the game shows there.
    EXPECT_TRUE(Near(RootPixel(display_, b.left, b.top), kGame));
    EXPECT_TRUE(Near(RootPixel(display_, b.right - 1, b.bottom - 1), kGame));
    EXPECT_TRUE(Near(RootPixel(display_, b.left, mid), kGame));
    int text = 0;
    for (const Color& p : testing::RootPixels(display_, b)) {
      EXPECT_FALSE(Near(p, overlay::kKeyColor)) << "the key colour is never seen";
      if (Near(p, overlay::kText, 12)) ++text;
    }
    EXPECT_GT(text, 20) << "the text is drawn";
    const Rect around{kGameRect.left - 20, kGameRect.top - 20, kGameRect.right + 20,
                      kGameRect.bottom + 20};
    EXPECT_TRUE(testing::WriteRootPng(display_, around,
                                      std::filesystem::path(HALVEX_SCREENSHOT_DIR) /
                                          "overlay-x11" / (std::string(c.name) + ".png")));
  }
}

TEST_F(X11OverlayWindowTest, WhatCoveredTheBadgeIsPaintedOverAfterPump) {
  X11OverlayWindow overlay(Name());
  ASSERT_TRUE(overlay.Create());
  overlay.Place(kBadge);
  overlay.Repaint([](Canvas& c) { c.FillRect(Rect{0, 0, c.Width(), c.Height()}, overlay::kBadge); });
  Settle(overlay);
  ASSERT_TRUE(Near(RootPixel(display_, kBadge.left + 100, kBadge.top + 20), overlay::kBadge));

  // A window without a background leaves its pixels behind when it goes away.
  const Window cover =
      testing::CreateGameWindow(display_, Rect{kBadge.left - 10, kBadge.top - 10, 900, 300}, kGame);
  ASSERT_TRUE(Near(RootPixel(display_, kBadge.left + 100, kBadge.top + 20), kGame));
  XDestroyWindow(display_, cover);
  EXPECT_TRUE(testing::WaitFor([&] {
    Settle(overlay);
    return Near(RootPixel(display_, kBadge.left + 100, kBadge.top + 20), overlay::kBadge);
  }));
}

TEST_F(X11OverlayWindowTest, NeitherTheFocusNorTheMouseGoesToTheBadge) {
  const Window game = Game();
  XSelectInput(display_, game, ButtonPressMask);
  XSetInputFocus(display_, game, RevertToParent, CurrentTime);
  XSync(display_, False);

  X11OverlayWindow overlay(Name());
  ASSERT_TRUE(overlay.Create());
  overlay.Place(kBadge);
  overlay.Repaint([](Canvas& c) { c.FillRect(Rect{0, 0, c.Width(), c.Height()}, overlay::kBadge); });
  overlay.RaiseTopMost();
  Settle(overlay);
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  EXPECT_EQ(focus, game);

  // A click on the badge reaches the game beneath it.
  XTestFakeMotionEvent(display_, -1, kBadge.left + 100, kBadge.top + 20, CurrentTime);
  XTestFakeButtonEvent(display_, 1, True, CurrentTime);
  XTestFakeButtonEvent(display_, 1, False, CurrentTime);
  XSync(display_, False);
  XEvent ev{};
  EXPECT_TRUE(testing::WaitFor([&] {
    return XCheckTypedWindowEvent(display_, game, ButtonPress, &ev) == True;
  }));
  XGetInputFocus(display_, &focus, &revert);
  EXPECT_EQ(focus, game);
}

TEST_F(X11OverlayWindowTest, TheHideTimerRunsFromPumpOnceDue) {
  ManualClock clock(1'000'000'000);
  ScopedClockSource scoped(&clock);
  X11OverlayWindow overlay(Name());
  ASSERT_TRUE(overlay.Create());
  EXPECT_FALSE(overlay.MsUntilTimer());
  int fired = 0;
  overlay.StartHideTimer(3500, [&] { ++fired; });
  EXPECT_EQ(overlay.MsUntilTimer(), 3500);
  clock.Advance(3'499'000'000);
  overlay.Pump();
  EXPECT_EQ(fired, 0);
  EXPECT_EQ(overlay.MsUntilTimer(), 1);
  clock.Advance(1'000'000);
  overlay.Pump();
  overlay.Pump();
  EXPECT_EQ(fired, 1) << "once, when due";
  EXPECT_FALSE(overlay.MsUntilTimer());

  // Restarting moves the deadline; stopping drops it.
  overlay.StartHideTimer(3500, [&] { ++fired; });
  clock.Advance(2'000'000'000);
  overlay.StartHideTimer(3500, [&] { ++fired; });
  clock.Advance(2'000'000'000);
  overlay.Pump();
  EXPECT_EQ(fired, 1);
  overlay.StopHideTimer();
  clock.Advance(5'000'000'000);
  overlay.Pump();
  EXPECT_EQ(fired, 1);
}

TEST_F(X11OverlayWindowTest, ASavedBadgeHidesItselfWhenPumpedAfterItsLife) {
  ManualClock clock(1'000'000'000);
  ScopedClockSource scoped(&clock);
  auto windows = X11WindowSystem::Open(Name().c_str());
  ASSERT_NE(windows, nullptr);
  const Window game = Game();
  X11OverlayWindow window(Name());
  ASSERT_TRUE(window.Create());
  Overlay overlay(window, *windows);
  overlay.ShowSaved(game);
  Settle(window);
  ASSERT_TRUE(Near(RootPixel(display_, kBadge.left + 5, kBadge.top + 21), overlay::kBadge));
  clock.Advance(kOverlayCollapseNs);
  Settle(window);
  EXPECT_FALSE(window.IsShown());
  EXPECT_TRUE(Near(RootPixel(display_, kBadge.left + 5, kBadge.top + 21), kGame));
}

}  // namespace
}  // namespace halvex
