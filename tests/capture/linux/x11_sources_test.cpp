// The XShm screen source and the XComposite window source against a real (private) X server.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "capture/linux/x11_screen_source.h"
#include "capture/linux/x11_window_source.h"
#include "capture/linux/x_test_windows.h"
#include "capture/linux/xvfb_server.h"
#include "core/linux/native_picture.h"
#include "core/log.h"

namespace halvex {
namespace {

using testing::Near;
using testing::PixelAt;
using Acquire = IScreenSource::Acquire;

constexpr testing::Rgb kRed = 0xff0000;
constexpr testing::Rgb kGreen = 0x00ff00;
constexpr testing::Rgb kBlue = 0x0000ff;
constexpr testing::Rgb kGrey = 0x808080;

class X11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::SharedXvfb().Running()) << "Xvfb could not be started";
    windows_ = std::make_unique<testing::XTestWindows>(testing::SharedXvfb().Name());
    ASSERT_NE(windows_->display(), nullptr);
  }
  void TearDown() override {
    for (Window w : created_) XDestroyWindow(windows_->display(), w);
    windows_->Sync();
  }
  Window Create(int x, int y, int width, int height, testing::Rgb colour) {
    created_.push_back(windows_->Create(x, y, width, height, colour));
    return created_.back();
  }
  const std::string& DisplayName() const { return testing::SharedXvfb().Name(); }

  std::unique_ptr<testing::XTestWindows> windows_;
  std::vector<Window> created_;
};

// Events reach the capture connection a little after the drawing connection's round trip.
Acquire AcquireUntil(IScreenSource& s, Picture& p, const std::function<bool(const Picture&)>& ok) {
  Acquire last = Acquire::Timeout;
  for (int i = 0; i < 50; ++i) {
    last = s.AcquireNext(40, true, p);
    if (last == Acquire::NewPicture && ok(p)) return last;
    if (last == Acquire::Error || last == Acquire::AccessLost) return last;
  }
  return last;
}

std::optional<Picture> LatestUntil(IWindowSource& s,
                                   const std::function<bool(const Picture&)>& ok) {
  for (int i = 0; i < 100; ++i) {
    std::optional<Picture> p = s.AcquireLatest();
    if (p && ok(*p)) return p;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

// Waits until the screen stops changing, then one more wait must time out.
void Settle(IScreenSource& s) {
  Picture p;
  for (int i = 0; i < 50 && s.AcquireNext(60, true, p) != Acquire::Timeout; ++i) {
  }
}

TEST_F(X11Test, ScreenSourceReadsTheMonitorAndReportsOnlyChanges) {
  X11ScreenSource screen(DisplayName());
  ASSERT_TRUE(screen.Open()) << screen.LastError();
  EXPECT_FALSE(screen.Output().name.empty());
  EXPECT_EQ(screen.Output().Width(), 1280);
  EXPECT_EQ(screen.Output().Height(), 720);

  Picture first;
  ASSERT_EQ(screen.AcquireNext(16, true, first), Acquire::NewPicture);  // the current desktop
  EXPECT_EQ(first.Width(), 1280);
  EXPECT_EQ(first.Height(), 720);
  Settle(screen);
  Picture none;
  EXPECT_EQ(screen.AcquireNext(50, true, none), Acquire::Timeout);
  EXPECT_TRUE(none.empty());

  const Window w = Create(100, 80, 200, 150, kRed);
  Picture red;
  ASSERT_EQ(AcquireUntil(screen, red,
                         [](const Picture& p) { return PixelAt(ImageOf(p), 150, 100) == kRed; }),
            Acquire::NewPicture);
  EXPECT_EQ(PixelAt(ImageOf(red), 100, 80), kRed);
  EXPECT_EQ(PixelAt(ImageOf(red), 299, 229), kRed);
  EXPECT_NE(PixelAt(ImageOf(red), 300, 230), kRed);
  EXPECT_NE(PixelAt(ImageOf(red), 99, 79), kRed);

  // A change seen with keep=false is let go: no picture now, and none left for later.
  Settle(screen);
  windows_->Fill(w, 0, 0, 200, 150, kGreen);
  Picture dropped;
  EXPECT_EQ(screen.AcquireNext(100, false, dropped), Acquire::Timeout);
  EXPECT_TRUE(dropped.empty());
  EXPECT_EQ(screen.AcquireNext(50, true, dropped), Acquire::Timeout);
  EXPECT_TRUE(dropped.empty());
}

TEST_F(X11Test, ScreenPicturesHeldByOthersAreNeverOverwritten) {
  X11ScreenSource screen(DisplayName());
  ASSERT_TRUE(screen.Open());
  const Window w = Create(0, 0, 64, 64, kRed);
  Picture red;
  ASSERT_EQ(AcquireUntil(screen, red,
                         [](const Picture& p) { return PixelAt(ImageOf(p), 10, 10) == kRed; }),
            Acquire::NewPicture);

  windows_->Fill(w, 0, 0, 64, 64, kBlue);
  Picture blue;
  ASSERT_EQ(AcquireUntil(screen, blue,
                         [](const Picture& p) { return PixelAt(ImageOf(p), 10, 10) == kBlue; }),
            Acquire::NewPicture);
  EXPECT_NE(ImageOf(red).pixels.get(), ImageOf(blue).pixels.get());
  EXPECT_EQ(PixelAt(ImageOf(red), 10, 10), kRed);

  // Once let go, a picture is reused rather than a new one made each time.
  red = {};
  blue = {};
  std::set<const uint8_t*> used;
  Picture again;
  for (int i = 0; i < 6; ++i) {
    again = {};
    const testing::Rgb colour = i % 2 ? kRed : kGrey;
    windows_->Fill(w, 0, 0, 64, 64, colour);
    ASSERT_EQ(AcquireUntil(screen, again,
                           [&](const Picture& p) { return PixelAt(ImageOf(p), 10, 10) == colour; }),
              Acquire::NewPicture);
    used.insert(ImageOf(again).pixels.get());
  }
  EXPECT_LE(used.size(), 2u);

  // Pictures outlive the source and its connection.
  screen.Close();
  EXPECT_EQ(PixelAt(ImageOf(again), 10, 10), kRed);
}

TEST_F(X11Test, WindowSourceCapturesContentsEvenWhenCovered) {
  log::Capture lines;
  X11WindowSource source(DisplayName());
  ASSERT_TRUE(source.Initialize());
  const Window game = Create(200, 100, 320, 240, kRed);
  ASSERT_TRUE(source.Start(game));
  EXPECT_TRUE(source.IsRunning());
  char hex[32];
  std::snprintf(hex, sizeof(hex), "%lx", game);
  EXPECT_TRUE(lines.Contains(std::string("[WGC] Captura de ventana iniciada: 320x240 (ventana X11=0x") +
                             hex + ")"));

  std::optional<Picture> p =
      LatestUntil(source, [](const Picture& p) { return PixelAt(ImageOf(p), 5, 5) == kRed; });
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Width(), 320);
  EXPECT_EQ(p->Height(), 240);

  // Nothing new: no frame.
  while (source.AcquireLatest()) {
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(source.AcquireLatest());

  // A window on top hides the game on screen but not in its own contents.
  Create(150, 50, 500, 400, kGrey);
  windows_->Fill(game, 0, 0, 160, 240, kGreen);
  p = LatestUntil(source, [](const Picture& p) { return PixelAt(ImageOf(p), 10, 10) == kGreen; });
  ASSERT_TRUE(p);
  EXPECT_EQ(PixelAt(ImageOf(*p), 159, 120), kGreen);
  EXPECT_EQ(PixelAt(ImageOf(*p), 160, 120), kRed);
  EXPECT_EQ(PixelAt(ImageOf(*p), 319, 239), kRed);
}

TEST_F(X11Test, WindowSourceFollowsResizeUnmapAndDestruction) {
  log::Capture lines;
  X11WindowSource source(DisplayName());
  ASSERT_TRUE(source.Initialize());
  const Window game = Create(10, 10, 320, 240, kBlue);
  ASSERT_TRUE(source.Start(game));
  ASSERT_TRUE(LatestUntil(source, [](const Picture& p) { return p.Width() == 320; }));

  XResizeWindow(windows_->display(), game, 640, 360);
  windows_->Fill(game, 0, 0, 640, 360, kGreen);
  std::optional<Picture> p = LatestUntil(source, [](const Picture& p) {
    return p.Width() == 640 && PixelAt(ImageOf(p), 600, 300) == kGreen;
  });
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Height(), 360);
  EXPECT_EQ(ImageOf(*p).width, 640);

  // Unmapped (minimised without a window manager): no frames, even after drawing.
  XUnmapWindow(windows_->display(), game);
  windows_->Sync();
  EXPECT_FALSE(LatestUntil(source, [](const Picture&) { return true; }));
  XMapWindow(windows_->display(), game);
  windows_->Fill(game, 0, 0, 640, 360, kRed);
  EXPECT_TRUE(
      LatestUntil(source, [](const Picture& p) { return PixelAt(ImageOf(p), 5, 5) == kRed; }));

  // Minimised by a window manager that keeps it mapped (ICCCM WM_STATE Iconic): no frames.
  Display* d = windows_->display();
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
  auto setState = [&](long state) {
    const long value[2] = {state, 0};
    XChangeProperty(d, game, wmState, wmState, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value), 2);
    windows_->Sync();
  };
  setState(3);
  windows_->Fill(game, 0, 0, 640, 360, kBlue);
  EXPECT_FALSE(LatestUntil(source, [](const Picture&) { return true; }));
  setState(1);
  EXPECT_TRUE(
      LatestUntil(source, [](const Picture& p) { return PixelAt(ImageOf(p), 5, 5) == kBlue; }));

  // The window goes away: capture stops by itself, the process survives the X errors.
  XDestroyWindow(windows_->display(), game);
  std::erase(created_, game);
  windows_->Sync();
  for (int i = 0; i < 100 && source.IsRunning(); ++i) {
    EXPECT_FALSE(source.AcquireLatest());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(source.IsRunning());
  EXPECT_TRUE(lines.Contains("[WGC] La ventana capturada ya no existe"));

  // A window that no longer exists cannot be started, and says nothing about capturing.
  lines.Clear();
  EXPECT_FALSE(source.Start(game));
  EXPECT_FALSE(source.IsRunning());
  EXPECT_FALSE(lines.Contains("Captura de ventana iniciada"));

  // The source is still usable for another window.
  const Window next = Create(0, 0, 100, 100, kGrey);
  ASSERT_TRUE(source.Start(next));
  EXPECT_TRUE(
      LatestUntil(source, [](const Picture& p) { return PixelAt(ImageOf(p), 50, 50) == kGrey; }));
  source.Stop();
  EXPECT_FALSE(source.IsRunning());
  EXPECT_FALSE(source.AcquireLatest());
}

}  // namespace
}  // namespace halvex
