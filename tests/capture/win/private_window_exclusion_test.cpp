#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "capture/win/private_window_exclusion.h"

namespace halvex {
namespace {

HWND MakeWindow(int x, int y, int w, int h) {
  return CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, x, y, w, h,
                         nullptr, nullptr, nullptr, nullptr);
}

class PrivateWindowExclusionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = MakeWindow(0, 0, 400, 300);
    overlapping_ = MakeWindow(100, 100, 200, 200);
    apart_ = MakeWindow(900, 700, 100, 100);
    publicWindow_ = MakeWindow(50, 50, 100, 100);
    ASSERT_TRUE(game_ && overlapping_ && apart_ && publicWindow_);
  }
  void TearDown() override {
    for (HWND w : {game_, overlapping_, apart_, publicWindow_})
      if (w && IsWindow(w)) DestroyWindow(w);
  }

  PrivateWindowExclusion Make() {
    return PrivateWindowExclusion(
        [this](HWND w) { return w == overlapping_ || w == apart_; },
        [this](HWND w, bool excluded) {
          calls_.emplace_back(w, excluded);
          return accept_;
        });
  }

  HWND game_ = nullptr, overlapping_ = nullptr, apart_ = nullptr, publicWindow_ = nullptr;
  std::vector<std::pair<HWND, bool>> calls_;
  bool accept_ = true;
};

TEST_F(PrivateWindowExclusionTest, OnlyPrivateWindowsOverTheGameAreExcludedAndLaterRestored) {
  PrivateWindowExclusion exclusion = Make();
  exclusion.ExcludePrivateWindows(game_);
  EXPECT_EQ(exclusion.Excluded(), std::vector<HWND>{overlapping_});
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0], std::make_pair(overlapping_, true));

  // Already excluded: not set again.
  exclusion.ExcludePrivateWindows(game_);
  EXPECT_EQ(calls_.size(), 1u);

  // Moved away from the game: shown again and dropped.
  SetWindowPos(overlapping_, nullptr, 1200, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  exclusion.ExcludePrivateWindows(game_);
  EXPECT_TRUE(exclusion.Excluded().empty());
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[1], std::make_pair(overlapping_, false));

  SetWindowPos(overlapping_, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  exclusion.ExcludePrivateWindows(game_);
  ASSERT_EQ(exclusion.Excluded().size(), 1u);
  exclusion.RestorePrivateWindows();
  EXPECT_TRUE(exclusion.Excluded().empty());
  EXPECT_EQ(calls_.back(), std::make_pair(overlapping_, false));
}

TEST_F(PrivateWindowExclusionTest, RefusedAttributeIsNotListedAndClosedWindowsAreLeftAlone) {
  PrivateWindowExclusion exclusion = Make();
  accept_ = false;
  exclusion.ExcludePrivateWindows(game_);
  EXPECT_TRUE(exclusion.Excluded().empty());

  accept_ = true;
  exclusion.ExcludePrivateWindows(game_);
  ASSERT_EQ(exclusion.Excluded().size(), 1u);
  DestroyWindow(overlapping_);
  const size_t before = calls_.size();
  exclusion.RestorePrivateWindows();
  EXPECT_EQ(calls_.size(), before);
  EXPECT_TRUE(exclusion.Excluded().empty());
}

TEST_F(PrivateWindowExclusionTest, ClosedGameLetsEveryListedWindowGo) {
  PrivateWindowExclusion exclusion = Make();
  exclusion.ExcludePrivateWindows(game_);
  ASSERT_EQ(exclusion.Excluded().size(), 1u);
  DestroyWindow(game_);
  exclusion.ExcludePrivateWindows(game_);
  EXPECT_TRUE(exclusion.Excluded().empty());
  EXPECT_EQ(calls_.back(), std::make_pair(overlapping_, false));
}

}  // namespace
}  // namespace halvex
