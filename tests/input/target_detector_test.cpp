#include "input/target_detector.h"

#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace halvex {
namespace {

using testing::FakeWindow;
using testing::FakeWindowSystem;

class TargetDetectorTest : public ::testing::Test {
 protected:
  TargetDetectorTest() {
    fake.AddWindow(kGame, 100, "C:\\Games\\Game\\Game.exe").title = "My Game Window";
    fake.foreground = kGame;
  }
  static constexpr WindowId kGame = 0x1000;
  FakeWindowSystem fake;
  TargetDetector detector{fake};
};

TEST_F(TargetDetectorTest, ForegroundGameIsTargetWithItsIdentity) {
  const TargetInfo info = detector.DetectForeground();
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.processId, 100u);
  EXPECT_EQ(info.window, kGame);
  EXPECT_EQ(info.executableName, "Game.exe");
  EXPECT_EQ(info.title, "My Game Window");
  EXPECT_EQ(info.displayName, "My Game Window");  // no version resource: the title
}

TEST_F(TargetDetectorTest, WindowsThatAreNoCandidates) {
  FakeWindow& w = fake.windows[kGame];
  w.rect = {0, 0, 639, 1080};
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.rect = {100, 100, 740, 460};  // exactly 640 x 360
  EXPECT_TRUE(detector.DetectForeground().valid);
  w.rect = {0, 0, 1920, 359};
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.rect = {0, 0, 1920, 1080};

  w.minimized = true;
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.minimized = false;
  w.visible = false;
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.visible = true;
  w.owner = 0x2000;  // an owned dialog
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.owner = 0;
  for (const char* shell : {"Progman", "WorkerW", "Shell_TrayWnd", "shell_secondarytraywnd"}) {
    w.className = shell;
    EXPECT_FALSE(detector.DetectForeground().valid) << shell;
  }
  w.className = "GameWindow";
  w.desktopShell = true;  // an X11 desktop or dock window
  EXPECT_FALSE(detector.DetectForeground().valid);
  w.desktopShell = false;
  EXPECT_TRUE(detector.DetectForeground().valid);

  fake.foreground = 0;
  EXPECT_FALSE(detector.DetectForeground().valid);
  fake.foreground = 0x9999;  // a window that is gone
  EXPECT_FALSE(detector.DetectForeground().valid);
}

TEST_F(TargetDetectorTest, OwnProcessUnreadableProcessAndBuiltInNamesAreNoTarget) {
  fake.ownProcess = 100;
  EXPECT_FALSE(detector.DetectForeground().valid);
  fake.ownProcess = 1;

  fake.processes[100].imagePath.reset();  // protected process
  EXPECT_FALSE(detector.DetectForeground().valid);
  fake.windows[kGame].process = 0;
  EXPECT_FALSE(detector.DetectForeground().valid);

  fake.windows[kGame].process = 100;
  fake.processes[100].imagePath = "C:\\Program Files\\Google\\Chrome\\Application\\Chrome.EXE";
  EXPECT_FALSE(detector.DetectForeground().valid);
  fake.processes[100].imagePath = "C:\\Windows\\explorer.exe";
  EXPECT_FALSE(detector.DetectForeground().valid);
}

TEST_F(TargetDetectorTest, UserExclusionMatchesAnyCaseAndIsReplaced) {
  fake.processes[100].imagePath = "C:\\X\\GAME.EXE";
  detector.SetVideoExclusions({"game.exe"});
  EXPECT_FALSE(detector.DetectForeground().valid);
  EXPECT_TRUE(detector.IsExcluded("Game.Exe"));
  EXPECT_TRUE(detector.IsExcluded("D:\\Other\\GAME.exe"));
  EXPECT_FALSE(detector.IsExcluded("game"));
  detector.SetVideoExclusions({"OTHER.EXE"});
  EXPECT_TRUE(detector.IsExcluded("other.exe"));
  EXPECT_TRUE(detector.DetectForeground().valid);
  detector.SetVideoExclusions({});
  EXPECT_FALSE(detector.IsExcluded("other.exe"));
}

TEST_F(TargetDetectorTest, TitleAndDisplayNameFallbacks) {
  fake.windows[kGame].title = "";
  TargetInfo info = detector.DetectForeground();
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.title, "Game.exe");
  EXPECT_EQ(info.displayName, "Game.exe");

  fake.processes[100].versionName = "My Game";
  info = detector.DetectForeground();
  EXPECT_EQ(info.title, "Game.exe");
  EXPECT_EQ(info.displayName, "My Game");

  fake.processes[100].versionName = "";  // an empty name is no name
  EXPECT_EQ(detector.DetectForeground().displayName, "Game.exe");
}

TEST_F(TargetDetectorTest, StoreGameFrameIsTargetButSettingsAppIsNot) {
  const WindowId frame = 0x3000, content = 0x3001;
  fake.AddWindow(frame, 200, "C:\\Windows\\System32\\ApplicationFrameHost.exe").className =
      "ApplicationFrameWindow";
  fake.windows[frame].children = {content};
  fake.AddWindow(content, 201, "C:\\Program Files\\WindowsApps\\Store.Game\\StoreGame.exe");
  fake.windows[content].owner = frame;
  fake.foreground = frame;
  TargetInfo info = detector.DetectForeground();
  ASSERT_TRUE(info.valid);
  EXPECT_EQ(info.processId, 200u);

  fake.processes[201].imagePath = "C:\\Windows\\ImmersiveControlPanel\\SystemSettings.exe";
  EXPECT_FALSE(detector.DetectForeground().valid);
  EXPECT_TRUE(detector.IsSettingsApp(frame));

  // Recognised by its application id alone.
  fake.processes[201].imagePath = "C:\\Games\\StoreGame.exe";
  fake.windows[frame].appUserModelId =
      "windows.immersivecontrolpanel_cw5n1h2txyewy!microsoft.windows.immersivecontrolpanel";
  EXPECT_FALSE(detector.DetectForeground().valid);
  fake.windows[frame].appUserModelId =
      "Windows.ImmersiveControlPanel!Microsoft.Windows.ImmersiveControlPanel";
  EXPECT_TRUE(detector.IsSettingsApp(frame));
  fake.windows[frame].appUserModelId = "Windows.ImmersiveControlPanel_cw5n1h2txyewy!";  // 44 long
  EXPECT_TRUE(detector.IsSettingsApp(frame));
  fake.windows[frame].appUserModelId = "Contoso.Game_8wekyb3d8bbwe!App";
  EXPECT_FALSE(detector.IsSettingsApp(frame));
}

TEST_F(TargetDetectorTest, AliveAndInFrontChecks) {
  EXPECT_TRUE(detector.TargetAlive(100));
  fake.processes[100].alive = false;
  EXPECT_FALSE(detector.TargetAlive(100));
  EXPECT_FALSE(detector.TargetAlive(0));

  const WindowId second = 0x1001, small = 0x1002;
  fake.AddWindow(second, 100);
  fake.AddWindow(small, 100).rect = {0, 0, 300, 200};
  EXPECT_TRUE(detector.TargetInFrontByWindow(kGame, 100));
  fake.foreground = second;
  EXPECT_TRUE(detector.TargetInFrontByWindow(kGame, 100));
  fake.foreground = small;  // a small window of the same process is no candidate
  EXPECT_FALSE(detector.TargetInFrontByWindow(kGame, 100));
  EXPECT_TRUE(detector.TargetInFrontByProcessTree(kGame, 100));
  fake.foreground = 0;
  EXPECT_FALSE(detector.TargetInFrontByWindow(kGame, 100));
  EXPECT_FALSE(detector.TargetInFrontByProcessTree(kGame, 100));
}

// A chain 1000 -> 1001 -> ... where process 1000 + n is n levels below 1000.
std::vector<std::pair<ProcessId, ProcessId>> Chain(int length) {
  std::vector<std::pair<ProcessId, ProcessId>> table{{1000, 4}};
  for (int i = 1; i <= length; ++i) table.emplace_back(1000 + i, 1000 + i - 1);
  return table;
}

TEST(ProcessTreeTest, FindsAncestorsUpToThirtyTwoLevels) {
  const auto table = Chain(40);
  EXPECT_TRUE(DescendsFrom(table, 1000, 1000));
  EXPECT_TRUE(DescendsFrom(table, 1001, 1000));
  EXPECT_TRUE(DescendsFrom(table, 1032, 1000));
  EXPECT_FALSE(DescendsFrom(table, 1033, 1000));
  EXPECT_TRUE(DescendsFrom(table, 1033, 1001));
  EXPECT_FALSE(DescendsFrom(table, 1000, 1001));  // parents are not descendants
  EXPECT_FALSE(DescendsFrom(table, 1005, 0));
  EXPECT_FALSE(DescendsFrom(table, 2000, 1000));  // not in the table
}

TEST(ProcessTreeTest, StopsOnCyclesSelfParentsAndGaps) {
  // 10 -> 11 -> 12 -> 10: a cycle that never reaches 99.
  EXPECT_FALSE(DescendsFrom({{10, 11}, {11, 12}, {12, 10}}, 10, 99));
  EXPECT_TRUE(DescendsFrom({{10, 11}, {11, 12}, {12, 10}}, 10, 12));
  EXPECT_FALSE(DescendsFrom({{10, 10}, {20, 10}}, 20, 99));
  EXPECT_FALSE(DescendsFrom({{10, 11}, {12, 99}}, 10, 99));  // 11 is gone
  EXPECT_FALSE(DescendsFrom({{10, 0}, {0, 99}}, 10, 99));    // id 0 ends the walk
}

TEST(FocusCacheTest, ProcessTreeWalkedOnlyWhenThePairChanges) {
  FakeWindowSystem fake;
  fake.AddWindow(1, 100);  // the launcher, recorded as target
  fake.AddWindow(2, 101);  // the game it started
  fake.AddWindow(3, 300);  // an unrelated program
  fake.processes[101].parent = 100;
  fake.processes[300].parent = 4;
  FocusCache cache;

  fake.foreground = 1;
  EXPECT_TRUE(cache.TargetInFront(fake, 1, 100));
  EXPECT_EQ(fake.processParentsCalls, 0);  // the target window itself needs no walk

  fake.foreground = 2;
  EXPECT_TRUE(cache.TargetInFront(fake, 1, 100));
  EXPECT_TRUE(cache.TargetInFront(fake, 1, 100));
  EXPECT_EQ(fake.processParentsCalls, 1);

  fake.foreground = 3;
  EXPECT_FALSE(cache.TargetInFront(fake, 1, 100));
  EXPECT_FALSE(cache.TargetInFront(fake, 1, 100));
  EXPECT_EQ(fake.processParentsCalls, 2);

  fake.processes[300].parent = 100;  // same pair: the cached answer stands until a reset
  EXPECT_FALSE(cache.TargetInFront(fake, 1, 100));
  cache.Reset();
  EXPECT_TRUE(cache.TargetInFront(fake, 1, 100));
  EXPECT_EQ(cache.Walks(), 3u);

  EXPECT_FALSE(cache.TargetInFront(fake, 1, 101));  // another target: walked again
  EXPECT_EQ(cache.Walks(), 4u);
}

TEST(BuiltInExclusionTest, WindowsAndLinuxNames) {
  EXPECT_TRUE(IsBuiltInWindowsExclusion("explorer.exe"));
  EXPECT_TRUE(IsBuiltInWindowsExclusion("vsls-agent.exe"));
  EXPECT_TRUE(IsBuiltInWindowsExclusion("opera_gx.exe"));
  EXPECT_FALSE(IsBuiltInWindowsExclusion("Explorer.exe"));  // callers lower-case first
  EXPECT_FALSE(IsBuiltInWindowsExclusion("game.exe"));
  EXPECT_FALSE(IsBuiltInWindowsExclusion("discorddevelopment.exe"));
  EXPECT_TRUE(IsBuiltInLinuxExclusion("gnome-shell"));
  EXPECT_TRUE(IsBuiltInLinuxExclusion("firefox-esr"));
  EXPECT_TRUE(IsBuiltInLinuxExclusion("openbox"));
  EXPECT_FALSE(IsBuiltInLinuxExclusion("supertuxkart"));
  EXPECT_TRUE(IsBuiltInExclusion("chrome.exe"));
#ifdef _WIN32
  EXPECT_FALSE(IsBuiltInExclusion("xterm"));
#else
  EXPECT_TRUE(IsBuiltInExclusion("xterm"));
#endif
  EXPECT_TRUE(IsDiscordClient("DiscordDevelopment.exe"));
  EXPECT_FALSE(IsDiscordClient("discord"));
}

}  // namespace
}  // namespace halvex
