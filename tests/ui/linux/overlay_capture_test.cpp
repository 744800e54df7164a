// The badge is on screen but never in a recorded picture: screen capture (XShm of the root, with
// and without a compositing manager) and window capture (the game's own pixmap).
// GoogleTest before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "capture/linux/x11_screen_source.h"
#include "capture/linux/x11_window_source.h"
#include "capture/linux/xvfb_server.h"
#include "core/linux/native_picture.h"
#include "input/linux/x11_window_system.h"
#include "ui/linux/x11_overlay_window.h"
#include "ui/linux/x_desktop.h"
#include "ui/overlay.h"
#include "ui/overlay_look.h"

namespace halvex {
namespace {

using testing::Near;

constexpr Color kGame = Rgb(48, 160, 80);
const Rect kGameRect{300, 200, 940, 560};

Color PictureColor(const CpuPicture& p, int x, int y) {
  const uint8_t* px = p.Row(y) + 4 * x;
  return Rgb(px[2], px[1], px[0]);
}

// Every badge colour, alone or blended over the game at the badge's opacity.
bool LooksLikeTheBadge(Color c) {
  for (Color badge : {overlay::kBadge, overlay::kMessageBadge, overlay::kText}) {
    if (Near(c, badge, 40)) return true;
  }
  return false;
}

struct Findings {
  int badge = 0;  // pixels of a badge colour
  int game = 0;   // pixels of the game's colour
};

Findings Look(const std::function<Color(int, int)>& pixel, const Rect& r) {
  Findings f;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const Color c = pixel(x, y);
      if (LooksLikeTheBadge(c)) ++f.badge;
      if (Near(c, kGame, 2)) ++f.game;
    }
  }
  return f;
}

std::optional<CpuPicture> ScreenPicture(X11ScreenSource& screen) {
  for (int i = 0; i < 20; ++i) {
    Picture p;
    if (screen.AcquireNext(50, true, p) == IScreenSource::Acquire::NewPicture) return ImageOf(p);
  }
  return std::nullopt;
}

struct Shown {
  const char* name;
  std::function<void(Overlay&, WindowId)> show;
};

const std::vector<Shown>& Badges() {
  static const std::vector<Shown> badges = {
      {"saved", [](Overlay& o, WindowId g) { o.ShowSaved(g); }},
      {"message", [](Overlay& o, WindowId g) { o.ShowMessage(g, "Discord Clip + 20 MB listo"); }},
  };
  return badges;
}

// Shows each badge over a game window on `server` and checks the screen has it and the
// recorded pictures do not. `compositor`: the badge is blended by a compositing manager.
void CheckNeverRecorded(const std::string& server, bool compositor) {
  Display* d = XOpenDisplay(server.c_str());
  ASSERT_NE(d, nullptr);
  auto windows = X11WindowSystem::Open(server.c_str());
  ASSERT_NE(windows, nullptr);
  const Window game = testing::CreateGameWindow(d, kGameRect, kGame);
  const Rect badge{kGameRect.right - 14 - 210, kGameRect.top + 14, kGameRect.right - 14,
                   kGameRect.top + 56};

  X11ScreenSource screen(server);
  ASSERT_TRUE(screen.Open()) << screen.LastError();
  X11WindowSource windowSource(server);
  ASSERT_TRUE(windowSource.Initialize());
  ASSERT_TRUE(windowSource.Start(game));

  for (const Shown& b : Badges()) {
    SCOPED_TRACE(b.name);
    X11OverlayWindow window(server);
    ASSERT_TRUE(window.Create());
    EXPECT_EQ(window.HasAlpha(), compositor);
    Overlay overlay(window, *windows);
    b.show(overlay, game);
    window.Sync();
    window.Pump();

    // On screen (a compositing manager draws it a little later).
    Findings onScreen;
    EXPECT_TRUE(testing::WaitFor([&] {
      const auto pixels = testing::RootPixels(d, badge);
      onScreen = Look([&](int x, int y) { return pixels[static_cast<size_t>((y - badge.top) * badge.Width() + x - badge.left)]; }, badge);
      return onScreen.badge > badge.Width() * badge.Height() / 2;
    })) << "the badge is not on screen: " << onScreen.badge << " badge pixels";
    const std::string shot = std::string(compositor ? "composited_" : "") + b.name;
    testing::WriteRootPng(d, Rect{kGameRect.left, kGameRect.top, kGameRect.right, kGameRect.top + 100},
                          std::filesystem::path(HALVEX_SCREENSHOT_DIR) / "overlay-x11" /
                              ("screen_" + shot + ".png"));

    // Screen capture: the badge's area shows the game, nothing of the badge.
    const auto picture = ScreenPicture(screen);
    ASSERT_TRUE(picture);
    const Rect area = screen.Output().desktop;
    const Findings recorded =
        Look([&](int x, int y) { return PictureColor(*picture, x - area.left, y - area.top); }, badge);
    EXPECT_EQ(recorded.badge, 0);
    EXPECT_EQ(recorded.game, badge.Width() * badge.Height());

    // Window capture of the game, once it has drawn a picture with the badge over it.
    testing::FillWindow(d, game, kGame);
    std::optional<Picture> own;
    testing::WaitFor([&] { return (own = windowSource.AcquireLatest()).has_value(); });
    ASSERT_TRUE(own);
    const CpuPicture& gamePicture = ImageOf(*own);
    const Findings inGame = Look(
        [&](int x, int y) { return PictureColor(gamePicture, x - kGameRect.left, y - kGameRect.top); },
        badge);
    EXPECT_EQ(inGame.badge, 0);
    EXPECT_EQ(inGame.game, badge.Width() * badge.Height());
  }
  windowSource.Stop();
  screen.Close();
  XDestroyWindow(d, game);
  XCloseDisplay(d);
}

TEST(OverlayCaptureTest, TheBadgeIsNeverRecordedWithoutACompositingManager) {
  testing::XvfbServer server(1280, 720);
  ASSERT_TRUE(server.Running());
  CheckNeverRecorded(server.Name(), false);
}

TEST(OverlayCaptureTest, TheBadgeIsNeverRecordedUnderACompositingManager) {
  testing::XvfbServer server(1280, 720);
  ASSERT_TRUE(server.Running());
  testing::DesktopProgram compositor(server.Name(), {"xcompmgr"});
  Display* d = XOpenDisplay(server.Name().c_str());
  ASSERT_NE(d, nullptr);
  const Atom cm = XInternAtom(d, "_NET_WM_CM_S0", False);
  const bool owned = testing::WaitFor([&] { return XGetSelectionOwner(d, cm) != None; });
  XCloseDisplay(d);
  ASSERT_TRUE(owned) << "xcompmgr did not start (scripts/deps installs it)";
  CheckNeverRecorded(server.Name(), true);
}

// The fallback to screen capture is taken where the server has no Composite: nothing beneath the
// badge can be read back, so its place is recorded black, and recording goes on picture after picture.
TEST(OverlayCaptureTest, WithoutCompositeTheBadgeIsRecordedAsABlackHole) {
  testing::XvfbServer server(1280, 720, {"-extension", "Composite"});
  ASSERT_TRUE(server.Running());
  Display* d = XOpenDisplay(server.Name().c_str());
  ASSERT_NE(d, nullptr);
  auto windows = X11WindowSystem::Open(server.Name().c_str());
  ASSERT_NE(windows, nullptr);
  const Window game = testing::CreateGameWindow(d, kGameRect, kGame);
  const Rect badge{kGameRect.right - 14 - 210, kGameRect.top + 14, kGameRect.right - 14,
                   kGameRect.top + 56};
  X11ScreenSource screen(server.Name());
  ASSERT_TRUE(screen.Open()) << screen.LastError();
  X11OverlayWindow window(server.Name());
  ASSERT_TRUE(window.Create());
  Overlay overlay(window, *windows);
  overlay.ShowSaved(static_cast<WindowId>(game));
  window.Sync();
  window.Pump();
  ASSERT_TRUE(testing::WaitFor([&] {
    return LooksLikeTheBadge(testing::RootPixel(d, badge.left + badge.Width() / 2, badge.top + 2));
  })) << "the badge is not on screen";

  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    testing::FillWindow(d, game, kGame);  // a new picture, so the screen source has one to read
    XSync(d, False);
    const auto picture = ScreenPicture(screen);
    ASSERT_TRUE(picture) << "screen capture stopped; error " << screen.LastError();
    const Rect area = screen.Output().desktop;
    const auto pixel = [&](int x, int y) { return PictureColor(*picture, x - area.left, y - area.top); };
    EXPECT_EQ(Look(pixel, badge).badge, 0);
    EXPECT_EQ(pixel(badge.left + 5, badge.top + 5), Rgb(0, 0, 0));
    EXPECT_EQ(pixel(badge.left - 5, badge.top + 5), kGame);
  }
  screen.Close();
  XDestroyWindow(d, game);
  XCloseDisplay(d);
}

}  // namespace
}  // namespace halvex
