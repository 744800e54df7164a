#include "settings/executable_name.h"

#include <gtest/gtest.h>

namespace halvex::settings {
namespace {

TEST(ExecutableNameTest, FileNamePartCaseKept) {
  EXPECT_EQ(ProgramFileName("C:\\X\\GAME.EXE"), "GAME.EXE");
  EXPECT_EQ(ProgramFileName("/usr/bin/xterm"), "xterm");
  EXPECT_EQ(ProgramFileName("Z:\\home/u/Juego Ñ.exe"), "Juego Ñ.exe");  // Wine mixes both
  EXPECT_EQ(ProgramFileName("pacat"), "pacat");
  EXPECT_EQ(ProgramFileName("C:\\Games\\"), "");
}

TEST(ExecutableNameTest, FileNamePartLowerCased) {
  EXPECT_EQ(ProgramFileNameLower("C:\\Games\\Foo.EXE"), "foo.exe");
  EXPECT_EQ(ProgramFileNameLower("/home/u/.local/bin/MyGame"), "mygame");
  EXPECT_EQ(ProgramFileNameLower("mixed/dir\\Last.Exe"), "last.exe");
  // towlower in the C locale folds ASCII letters only.
  EXPECT_EQ(ProgramFileNameLower("C:\\Juegos\\ÑANDÚ.EXE"), "ÑandÚ.exe");
  EXPECT_EQ(ProgramFileNameLower("C:\\Games\\"), "");
}

TEST(ExecutableNameTest, BothPlatformRules) {
  EXPECT_TRUE(IsValidWindowsExecutableName("a.exe"));
  EXPECT_FALSE(IsValidWindowsExecutableName(".exe"));  // 4 units
  EXPECT_FALSE(IsValidWindowsExecutableName("notes.txt"));
  EXPECT_FALSE(IsValidWindowsExecutableName("game"));
  EXPECT_TRUE(IsValidWindowsExecutableName(std::string(256, 'g') + ".exe"));   // 260
  EXPECT_FALSE(IsValidWindowsExecutableName(std::string(257, 'g') + ".exe"));  // 261
  // 258 two-byte characters count as 258 units, not 516 bytes.
  std::string wide;
  for (int i = 0; i < 256; ++i) wide += "\xC3\xB1";
  EXPECT_TRUE(IsValidWindowsExecutableName(wide + ".exe"));

  EXPECT_TRUE(IsValidLinuxProgramName("x"));
  EXPECT_TRUE(IsValidLinuxProgramName("game.exe"));
  EXPECT_TRUE(IsValidLinuxProgramName("notes.txt"));
  EXPECT_FALSE(IsValidLinuxProgramName(""));
  EXPECT_TRUE(IsValidLinuxProgramName(std::string(260, 'g')));
  EXPECT_FALSE(IsValidLinuxProgramName(std::string(261, 'g')));
}

TEST(ExecutableNameTest, ThisPlatformNormalizes) {
  EXPECT_EQ(NormalizeExecutableName("C:\\Games\\Foo.EXE"), "foo.exe");
  EXPECT_EQ(NormalizeExecutableName("C:\\Games\\"), std::nullopt);
#ifdef _WIN32
  EXPECT_EQ(NormalizeExecutableName("/usr/bin/Steam"), std::nullopt);
#else
  EXPECT_EQ(NormalizeExecutableName("/usr/bin/Steam"), "steam");
#endif
}

}  // namespace
}  // namespace halvex::settings
