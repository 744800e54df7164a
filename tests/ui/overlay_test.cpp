#include "ui/overlay.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "input/fake_window_system.h"
#include "ui/fake_overlay_window.h"
#include "ui/overlay_layout.h"

namespace halvex {
namespace {

using testing::FakeOverlayWindow;
using testing::FakeWindow;
using testing::FakeWindowSystem;

constexpr WindowId kGame = 100;
constexpr int64_t kMs = 1'000'000;
const Rect kGameRect{100, 50, 1380, 770};
const Rect kMonitor{0, 0, 1920, 1080};

class OverlayTest : public ::testing::Test {
 protected:
  OverlayTest() : scoped_(&clock_), overlay_(window_, windows_) {
    windows_.AddWindow(kGame, 7, "/games/game.exe").rect = kGameRect;
    windows_.monitors = {kMonitor};
  }

  ManualClock clock_{1'000 * kMs};
  ScopedClockSource scoped_;
  FakeWindowSystem windows_;
  FakeOverlayWindow window_;
  Overlay overlay_;
};

struct StateCase {
  const char* name;
  std::function<void(Overlay&, ManualClock&)> show;
  Size size;
  Color badge;
  // Texts written, in order: (text, box, pixel height).
  std::vector<std::tuple<std::string, Rect, int>> texts;
  int fillWidth = -1;  // progress bar only
};

TEST_F(OverlayTest, EachStateHasItsSizePositionColoursAndTexts) {
  const Rect line{11, 0, 199, 42};
  const Rect title{0, 2, 340, 26};
  const Rect percent{280, 23, 325, 41};
  const std::vector<StateCase> cases = {
      {"dot",
       [](Overlay& o, ManualClock& c) {
         o.ShowOn(kGame);
         c.Advance(3500 * kMs);
         o.Track(kGame);
       },
       {16, 16},
       Rgb(25, 125, 235),
       {}},
      {"on, empty label",
       [](Overlay& o, ManualClock&) { o.ShowOn(kGame); },
       {210, 42},
       Rgb(25, 125, 235),
       {{"Clips On - F8 Save", line, 15}}},
      {"on, own label",
       [](Overlay& o, ManualClock&) {
         o.SetLabel("Ctrl+F9");
         o.ShowOn(kGame);
       },
       {210, 42},
       Rgb(25, 125, 235),
       {{"Clips On - Ctrl+F9 Save", line, 15}}},
      {"saved",
       [](Overlay& o, ManualClock&) { o.ShowSaved(kGame); },
       {210, 42},
       Rgb(25, 125, 235),
       {{"Clip Guardado", line, 15}}},
      {"message",
       [](Overlay& o, ManualClock&) { o.ShowMessage(kGame, "Aun no listo... espera un instante"); },
       {210, 42},
       Rgb(255, 188, 42),
       {{"Aun no listo... espera un instante", line, 15}}},
      {"progress -3",
       [](Overlay& o, ManualClock&) { o.ShowProgress(kGame, "Discord", -3); },
       {340, 66},
       Rgb(75, 54, 8),
       {{"Discord", title, 15}, {"0%", percent, 11}},
       0},
      {"progress 42",
       [](Overlay& o, ManualClock&) { o.ShowProgress(kGame, "Discord", 42); },
       {340, 66},
       Rgb(75, 54, 8),
       {{"Discord", title, 15}, {"42%", percent, 11}},
       130},
      {"progress 150",
       [](Overlay& o, ManualClock&) { o.ShowProgress(kGame, "Discord", 150); },
       {340, 66},
       Rgb(75, 54, 8),
       {{"Discord", title, 15}, {"100%", percent, 11}},
       310},
  };
  const Color key = Rgb(1, 2, 3);
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeOverlayWindow window;
    ManualClock clock(5'000 * kMs);
    ScopedClockSource scoped(&clock);
    Overlay overlay(window, windows_);
    c.show(overlay, clock);

    ASSERT_TRUE(window.bounds);
    EXPECT_TRUE(window.shown);
    const int x = kGameRect.right - c.size.width - 14, y = kGameRect.top + 14;
    EXPECT_EQ(*window.bounds, (Rect{x, y, x + c.size.width, y + c.size.height}));

    const MemoryCanvas picture = window.Picture();
    const int w = c.size.width, h = c.size.height;
    EXPECT_EQ(picture.Pixel(0, 0), key);          // outside the inset
    EXPECT_EQ(picture.Pixel(w - 1, h / 2), key);  // the 1-pixel inset
    EXPECT_EQ(picture.Pixel(1, 1), key);          // the rounded (or round) corner
    EXPECT_EQ(picture.Pixel(w / 2, 1), c.badge);
    EXPECT_EQ(picture.Pixel(1, h / 2), c.badge);
    EXPECT_EQ(picture.Pixel(w / 2, h / 2 - 3), c.badge);

    ASSERT_EQ(picture.Texts().size(), c.texts.size());
    for (size_t i = 0; i < c.texts.size(); ++i) {
      const auto& t = picture.Texts()[i];
      EXPECT_EQ(t.text, std::get<0>(c.texts[i]));
      EXPECT_EQ(t.box, std::get<1>(c.texts[i]));
      EXPECT_EQ(t.font, (Font{"Segoe UI", 600, std::get<2>(c.texts[i])}));
      EXPECT_EQ(t.align, TextAlign::kCenter);
      EXPECT_EQ(t.color, Rgb(245, 250, 255));
    }
    if (c.fillWidth >= 0) {
      const Color track = Rgb(4, 29, 42), fill = Rgb(255, 205, 25);
      const int barY = h - 19;  // track rows 41..53
      EXPECT_EQ(picture.Pixel(14, barY), c.badge);
      EXPECT_EQ(picture.Pixel(15, h - 25), c.fillWidth > 0 ? fill : track);
      EXPECT_EQ(picture.Pixel(15, h - 26), c.badge);
      EXPECT_EQ(picture.Pixel(15, h - 13), c.fillWidth > 0 ? fill : track);
      EXPECT_EQ(picture.Pixel(15, h - 12), c.badge);
      if (c.fillWidth > 0) {
        EXPECT_EQ(picture.Pixel(15 + c.fillWidth - 1, barY), fill);
      }
      if (c.fillWidth < 310) {
        EXPECT_EQ(picture.Pixel(15 + c.fillWidth, barY), track);
      }
      EXPECT_EQ(picture.Pixel(w - 15, barY), c.badge);
    }
  }
}

TEST(BadgeBoundsTest, KeepsTheBadgeOnTheMonitorWhenItFits) {
  struct Case {
    const char* name;
    Rect reference;
    Size size;
    std::optional<Rect> monitor;
    Rect expected;
  };
  const Rect second{1920, 0, 3200, 1024};
  const std::vector<Case> cases = {
      {"inside", {100, 50, 1380, 770}, {210, 42}, kMonitor, {1156, 64, 1366, 106}},
      {"past the right edge", {1800, 50, 2400, 770}, {210, 42}, kMonitor, {1710, 64, 1920, 106}},
      {"above the top", {100, -300, 900, 200}, {340, 66}, kMonitor, {546, 0, 886, 66}},
      {"below the bottom", {100, 1070, 900, 1500}, {16, 16}, kMonitor, {870, 1064, 886, 1080}},
      {"left of the second monitor",
       {1000, 50, 2100, 700},
       {210, 42},
       second,
       {1920, 64, 2130, 106}},
      {"monitor unknown", {1800, -100, 2400, 770}, {210, 42}, std::nullopt, {2176, -86, 2386, -44}},
      {"badge larger than the monitor",
       {0, 0, 300, 200},
       {340, 66},
       Rect{0, 0, 300, 200},
       {-54, 14, 286, 80}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Rect bounds = BadgeBounds(c.reference, c.size, c.monitor);
    EXPECT_EQ(bounds, c.expected);
  }
}

TEST_F(OverlayTest, BadgeNearAMonitorEdgeStaysInsideThatMonitor) {
  const Rect left{0, 0, 1920, 1080}, right{1920, 0, 3840, 1080};
  windows_.monitors = {left, right};
  // Mostly on the right monitor, its top-right corner past that monitor's right and top edges.
  windows_.windows[kGame].rect = Rect{1800, -40, 3900, 1000};
  overlay_.ShowProgress(kGame, "Discord", 10);
  ASSERT_TRUE(window_.bounds);
  EXPECT_EQ(*window_.bounds, (Rect{3500, 0, 3840, 66}));
  EXPECT_EQ(Intersection(*window_.bounds, right), *window_.bounds);
}

TEST_F(OverlayTest, MinimisedGameHidesTheBadgeAndRestoringShowsItOnTheNextPass) {
  overlay_.ShowSaved(kGame);
  windows_.windows[kGame].minimized = true;
  overlay_.Track(kGame);
  EXPECT_FALSE(window_.shown);
  overlay_.Track(kGame);
  EXPECT_FALSE(window_.shown);
  EXPECT_EQ(overlay_.Look().mode, BadgeMode::kSaved);  // hidden, not forgotten

  windows_.windows[kGame].minimized = false;
  windows_.windows[kGame].rect = Rect{0, 0, 800, 600};
  overlay_.Track(kGame);
  EXPECT_TRUE(window_.shown);
  EXPECT_EQ(*window_.bounds, (Rect{576, 14, 786, 56}));
  EXPECT_EQ(overlay_.Look().mode, BadgeMode::kSaved);

  // An owned game window hides with its minimised owner too.
  constexpr WindowId kOwner = 200;
  windows_.AddWindow(kOwner, 7).minimized = true;
  windows_.windows[kGame].owner = kOwner;
  overlay_.ShowOn(kGame);
  overlay_.Track(kGame);
  EXPECT_FALSE(window_.shown);
}

TEST_F(OverlayTest, NotificationsExpireAfterThreeAndAHalfSeconds) {
  struct Case {
    const char* name;
    std::function<void(Overlay&)> show;
    BadgeMode before;
    BadgeMode after;
    bool hiddenOnExpiry;
  };
  const std::vector<Case> cases = {
      {"on collapses to the dot", [](Overlay& o) { o.ShowOn(kGame); }, BadgeMode::kOn,
       BadgeMode::kDot, false},
      {"saved is hidden", [](Overlay& o) { o.ShowSaved(kGame); }, BadgeMode::kSaved,
       BadgeMode::kDot, true},
      {"message is hidden", [](Overlay& o) { o.ShowMessage(kGame, "Hola"); }, BadgeMode::kMessage,
       BadgeMode::kDot, true},
      {"progress stays", [](Overlay& o) { o.ShowProgress(kGame, "Discord", 5); },
       BadgeMode::kProgress, BadgeMode::kProgress, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.show(overlay_);
    const int hides = window_.hides;
    clock_.Advance(3500 * kMs - 1);
    overlay_.Track(kGame);
    EXPECT_EQ(overlay_.Look().mode, c.before);
    EXPECT_EQ(window_.hides, hides);
    clock_.Advance(1);
    overlay_.Track(kGame);
    EXPECT_EQ(overlay_.Look().mode, c.after);
    EXPECT_EQ(window_.hides, hides + (c.hiddenOnExpiry ? 1 : 0));
    // The window shows what the state says, at the state's size.
    EXPECT_EQ(window_.bounds->Width(), overlay::BadgeSize(c.after).width);
    const MemoryCanvas picture = window_.Picture();
    EXPECT_EQ(picture.Pixel(picture.Width() / 2, 1), overlay::BadgeColor(c.after));
  }
}

TEST_F(OverlayTest, HideTimerRunsOnlyForSavedAndMessageBadges) {
  overlay_.ShowSaved(kGame);
  ASSERT_EQ(window_.timerMs, 3500);
  overlay_.ShowOn(kGame);
  EXPECT_FALSE(window_.timerMs);  // every show stops it first

  overlay_.ShowMessage(kGame, "Discord Clip + 20 MB listo");
  ASSERT_EQ(window_.timerMs, 3500);
  window_.FireTimer();
  EXPECT_FALSE(window_.shown);
  EXPECT_FALSE(window_.timerMs);
  EXPECT_EQ(overlay_.Look(), OverlayLook{});

  overlay_.ShowProgress(kGame, "Discord", 0);
  EXPECT_FALSE(window_.timerMs);
}

TEST_F(OverlayTest, SetProgressClampsAndRepaintsOnlyOnChange) {
  overlay_.ShowOn(kGame);
  int repaints = window_.repaints;
  overlay_.SetProgress(kGame, 50);  // not in progress mode: nothing
  EXPECT_EQ(window_.repaints, repaints);
  EXPECT_EQ(overlay_.Look().mode, BadgeMode::kOn);

  overlay_.ShowProgress(kGame, "Discord", 42);
  struct Step {
    int set;
    int shown;
    bool repaint;
  };
  for (const Step& s : std::vector<Step>{{42, 42, false},
                                         {43, 43, true},
                                         {200, 100, true},
                                         {150, 100, false},
                                         {-1, 0, true},
                                         {-7, 0, false}}) {
    SCOPED_TRACE(s.set);
    repaints = window_.repaints;
    overlay_.SetProgress(kGame, s.set);
    EXPECT_EQ(overlay_.Look().percent, s.shown);
    EXPECT_EQ(window_.repaints, repaints + (s.repaint ? 1 : 0));
  }
  EXPECT_EQ(window_.Picture().Texts().back().text, "0%");
}

TEST_F(OverlayTest, FollowsTheGameInBurstsThenOnlyKeepsOnTop) {
  overlay_.ShowOn(kGame);  // burst until +1.2 s
  struct Pass {
    int64_t atMs;
    bool repaint;
    bool raise;
  };
  const int64_t start = clock_.NowNs();
  for (const Pass& p : std::vector<Pass>{{10, true, true},
                                         {50, false, false},
                                         {84, false, false},
                                         {85, true, true},
                                         {100, false, false},
                                         {1199, true, true},
                                         {1200, false, true},
                                         {1300, false, true}}) {
    SCOPED_TRACE(p.atMs);
    clock_.Set(start + p.atMs * kMs);
    const int repaints = window_.repaints, raises = window_.raises;
    windows_.windows[kGame].rect.left += 5;  // the game moves every pass
    windows_.windows[kGame].rect.right += 5;
    overlay_.Track(kGame);
    EXPECT_EQ(window_.repaints, repaints + (p.repaint ? 1 : 0));
    EXPECT_EQ(window_.raises, raises + (p.raise ? 1 : 0));
    EXPECT_EQ(window_.bounds->right, windows_.windows[kGame].rect.right - 14);
  }
}

TEST_F(OverlayTest, UwpFrameBadgeSitsOnTheAppContentWindow) {
  struct Case {
    const char* name;
    std::string image;
    std::string frameClass;
    bool contentVisible;
    Rect expected;  // 210 x 42 badge
  };
  const Rect content{200, 100, 1000, 700};
  const std::vector<Case> cases = {
      {"frame by class", "/x/app.exe", "applicationframewindow", true, {776, 114, 986, 156}},
      {"frame by image",
       "C:\\Windows\\System32\\APPLICATIONFRAMEHOST.EXE",
       "Frame",
       true,
       {776, 114, 986, 156}},
      {"no visible content window",
       "/x/app.exe",
       "ApplicationFrameWindow",
       false,
       {1156, 64, 1366, 106}},
      {"not a frame", "/x/app.exe", "GameWindow", true, {1156, 64, 1366, 106}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWindowSystem windows;
    windows.monitors = {kMonitor};
    FakeWindow& frame = windows.AddWindow(kGame, 9, c.image);
    frame.rect = kGameRect;
    frame.className = c.frameClass;
    frame.children = {301, 302};
    windows.AddWindow(301, 9).className = "Windows.UI.Core.CoreWindow";
    windows.windows[301].visible = false;
    windows.AddWindow(302, 9).className = "windows.ui.core.corewindow";
    windows.windows[302].visible = c.contentVisible;
    windows.windows[302].rect = content;
    FakeOverlayWindow window;
    Overlay overlay(window, windows);
    overlay.ShowSaved(kGame);
    EXPECT_EQ(*window.bounds, c.expected);
  }
}

}  // namespace
}  // namespace halvex
