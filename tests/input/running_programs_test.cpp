#include "input/running_programs.h"

#include <gtest/gtest.h>

#include "input/fake_window_system.h"

namespace halvex {
namespace {

TEST(RunningProgramsTest, OneEntryPerVisibleProgramSortedByName) {
  testing::FakeWindowSystem fake;
  fake.ownProcess = 1;
  fake.AddWindow(10, 10, "C:\\Games\\Zeta.EXE").title = "Zeta";
  fake.AddWindow(11, 10).title = "Zeta second window";  // same program: first window kept
  fake.AddWindow(20, 20, "C:\\Apps\\alpha.exe").title = "Alpha";
  fake.AddWindow(30, 30, "C:\\Apps\\hidden.exe").visible = false;
  fake.AddWindow(40, 40, "C:\\Apps\\owned.exe").owner = 20;
  fake.AddWindow(50, 50, "C:\\Apps\\tool.exe").tool = true;
  fake.AddWindow(60, 60, "C:\\Apps\\untitled.exe").title = "";
  fake.AddWindow(70, 1, "C:\\Halvex\\Halvex.exe");
  fake.AddWindow(80, 80, "C:\\Windows\\System32\\ApplicationFrameHost.exe");
  fake.AddWindow(90, 90);  // image path unreadable
  fake.topLevelOrder = {10, 11, 20, 30, 40, 50, 60, 70, 80, 90, 999};

  const std::vector<RunningProgram> expected = {{"alpha.exe", "Alpha"}, {"zeta.exe", "Zeta"}};
  EXPECT_EQ(ListRunningPrograms(fake), expected);

  fake.topLevelOrder = {11, 10};  // the first window found wins
  ASSERT_EQ(ListRunningPrograms(fake).size(), 1u);
  EXPECT_EQ(ListRunningPrograms(fake)[0].title, "Zeta second window");
}

TEST(RunningProgramsTest, ExecutableNameRuleOfThePlatform) {
  testing::FakeWindowSystem fake;
  fake.AddWindow(10, 10, "/usr/games/supertux2").title = "SuperTux";
  const auto programs = ListRunningPrograms(fake);
#ifdef _WIN32
  EXPECT_TRUE(programs.empty());  // not an .exe
#else
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0].executableName, "supertux2");
#endif
}

}  // namespace
}  // namespace halvex
