// Where a windowed game is cut out of the monitor picture, and the output size rules.
#include "capture/window_rect.h"

#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace halvex {
namespace {

using testing::FakeWindowSystem;

constexpr WindowId kGame = 0x100;

OutputInfo Monitor(int left, int top, int width, int height) {
  return OutputInfo{"monitor", Rect{left, top, left + width, top + height}};
}

class WindowRectTest : public ::testing::Test {
 protected:
  testing::FakeWindow& Game(Rect outer, std::optional<Rect> client = std::nullopt) {
    testing::FakeWindow& w = windows_.AddWindow(kGame, 42);
    w.rect = outer;
    w.clientRect = client;
    return w;
  }
  std::optional<Rect> OnPrimary() {
    return WindowRectOnOutput(windows_, kGame, Monitor(0, 0, 1920, 1080));
  }

  FakeWindowSystem windows_;
};

TEST_F(WindowRectTest, WindowedGameUsesClientAreaAndIsCropped) {
  Game(Rect{92, 60, 1380, 820}, Rect{100, 90, 1380, 810});
  const std::optional<Rect> r = OnPrimary();
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (Rect{100, 90, 1380, 810}));
  EXPECT_EQ(r->Width(), 1280);
  EXPECT_EQ(r->Height(), 720);
  EXPECT_TRUE(NeedsCrop(*r, 1920, 1080));
}

TEST_F(WindowRectTest, CoveringWithinTwoPixelsIsNotCropped) {
  Game(Rect{0, 0, 1920, 1080});
  ASSERT_TRUE(OnPrimary());
  EXPECT_FALSE(NeedsCrop(*OnPrimary(), 1920, 1080));

  EXPECT_FALSE(NeedsCrop(Rect{1, 1, 1919, 1079}, 1920, 1080));   // 2 px short, edges at 1
  EXPECT_FALSE(NeedsCrop(Rect{0, 0, 1918, 1078}, 1920, 1080));   // exactly W - 2, H - 2
  EXPECT_TRUE(NeedsCrop(Rect{0, 0, 1917, 1080}, 1920, 1080));    // 3 px narrower
  EXPECT_TRUE(NeedsCrop(Rect{0, 0, 1920, 1077}, 1920, 1080));    // 3 px lower
  EXPECT_TRUE(NeedsCrop(Rect{2, 0, 1920, 1080}, 1920, 1080));    // left edge beyond 1
  EXPECT_TRUE(NeedsCrop(Rect{0, 2, 1920, 1080}, 1920, 1080));    // top edge beyond 1
}

TEST_F(WindowRectTest, MinimisedOrMissingWindowGivesNone) {
  Game(Rect{100, 100, 900, 700}).minimized = true;
  EXPECT_FALSE(OnPrimary());
  EXPECT_FALSE(WindowRectOnOutput(windows_, 0x999, Monitor(0, 0, 1920, 1080)));
  EXPECT_FALSE(WindowRectOnOutput(windows_, 0, Monitor(0, 0, 1920, 1080)));
}

TEST_F(WindowRectTest, ClampsToTheOutputAndDropsWindowsOutsideIt) {
  Game(Rect{-200, -100, 800, 600});
  EXPECT_EQ(*OnPrimary(), (Rect{0, 0, 800, 600}));

  windows_.windows[kGame].rect = Rect{1500, 900, 2500, 1500};
  EXPECT_EQ(*OnPrimary(), (Rect{1500, 900, 1920, 1080}));

  windows_.windows[kGame].rect = Rect{1920, 0, 2600, 500};  // on the monitor to the right
  EXPECT_FALSE(OnPrimary());
  windows_.windows[kGame].rect = Rect{-640, -480, 0, 0};
  EXPECT_FALSE(OnPrimary());
}

TEST_F(WindowRectTest, OutputOriginIsSubtracted) {
  Game(Rect{2020, 150, 3300, 870});
  const std::optional<Rect> r =
      WindowRectOnOutput(windows_, kGame, Monitor(1920, 100, 2560, 1440));
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, (Rect{100, 50, 1380, 770}));

  // A monitor left of and above the primary one has a negative origin.
  windows_.windows[kGame].rect = Rect{-1920, -1080, 0, 0};
  EXPECT_EQ(*WindowRectOnOutput(windows_, kGame, Monitor(-1920, -1080, 1920, 1080)),
            (Rect{0, 0, 1920, 1080}));
}

TEST_F(WindowRectTest, RenderChildCoveringMostOfTheClientAreaWins) {
  Game(Rect{0, 0, 1300, 800}, Rect{10, 40, 1290, 790});
  windows_.AddWindow(0x201, 42).rect = Rect{10, 40, 1290, 70};    // tool bar
  windows_.AddWindow(0x202, 42).rect = Rect{10, 70, 1290, 790};   // the picture
  windows_.AddWindow(0x203, 42).rect = Rect{10, 40, 1290, 790};   // hidden overlay
  windows_.windows[0x203].visible = false;
  windows_.windows[kGame].children = {0x201, 0x202, 0x203};
  EXPECT_EQ(*OnPrimary(), (Rect{10, 70, 1290, 790}));

  // Only small children: the client area is used.
  windows_.windows[kGame].children = {0x201};
  EXPECT_EQ(*OnPrimary(), (Rect{10, 40, 1290, 790}));
}

TEST(OutputSizeTest, ZeroMeansCaptureSizeAndLargerMeansNative) {
  EXPECT_EQ(EffectiveOutputSize(0, 0, 1920, 1080), (OutputSize{1920, 1080}));
  EXPECT_EQ(EffectiveOutputSize(1280, 720, 1920, 1080), (OutputSize{1280, 720}));
  EXPECT_EQ(EffectiveOutputSize(1280, 0, 1920, 1080), (OutputSize{1280, 1080}));
  EXPECT_EQ(EffectiveOutputSize(-5, 720, 1920, 1080), (OutputSize{1920, 720}));
  // Never scaled up: a size beyond the capture in either dimension falls back to native.
  EXPECT_EQ(ClampConfiguredOutputSize(2560, 720, 1920, 1080), (OutputSize{0, 0}));
  EXPECT_EQ(ClampConfiguredOutputSize(1280, 1440, 1920, 1080), (OutputSize{0, 0}));
  EXPECT_EQ(EffectiveOutputSize(2560, 1440, 1920, 1080), (OutputSize{1920, 1080}));
  EXPECT_EQ(EffectiveOutputSize(1920, 1080, 1920, 1080), (OutputSize{1920, 1080}));
}

}  // namespace
}  // namespace halvex
