#include "input/linux/proc_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace halvex::proc {
namespace {
namespace fs = std::filesystem;

TEST(ProcStatTest, CommandNamesWithSpacesAndParentheses) {
  auto f = ParseStat("1234 (bash) S 1 1234 1234 0 -1");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->state, 'S');
  EXPECT_EQ(f->parent, 1u);
  f = ParseStat("77 (my (odd) game) R 4321 77 77");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->parent, 4321u);
  f = ParseStat("78 (a) Z 9) Z 55 1");  // a ")" inside the name: the last one counts
  ASSERT_TRUE(f);
  EXPECT_EQ(f->state, 'Z');
  EXPECT_EQ(f->parent, 55u);
  EXPECT_FALSE(ParseStat(""));
  EXPECT_FALSE(ParseStat("12 bash S 1"));
  EXPECT_FALSE(ParseStat("12 (bash)"));
  EXPECT_FALSE(ParseStat("12 (bash) S"));
  EXPECT_FALSE(ParseStat("12 (bash) S x"));
  EXPECT_FALSE(ParseStat("12 (bash) S 99999999999"));
  EXPECT_FALSE(ParseStat("12 ) (bash S 1"));
}

TEST(ProcStatTest, LiveTableHasThisProcessAndItsParent) {
  const auto table = ParentTable();
  const ProcessId self = static_cast<ProcessId>(getpid());
  const auto it =
      std::find_if(table.begin(), table.end(), [&](auto& e) { return e.first == self; });
  ASSERT_NE(it, table.end());
  EXPECT_EQ(it->second, static_cast<ProcessId>(getppid()));
  EXPECT_TRUE(IsAlive(self));
  EXPECT_FALSE(IsAlive(0));
  EXPECT_FALSE(IsAlive(0xFFFFFFFFu));  // never a process group
  EXPECT_EQ(ExecutablePath(self), fs::canonical("/proc/self/exe"));
}

TEST(ProcStatTest, ZombieAndReapedChildrenAreNotAlive) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  // Until reaped the child is a zombie: it exists but is no longer running.
  for (int i = 0; i < 2000; ++i) {
    const auto stat = ReadSmallFile("/proc/" + std::to_string(child) + "/stat", 4096);
    if (stat && ParseStat(*stat) && ParseStat(*stat)->state == 'Z') break;
    usleep(1000);
  }
  EXPECT_FALSE(IsAlive(static_cast<ProcessId>(child)));
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(IsAlive(static_cast<ProcessId>(child)));
}

TEST(WineProgramTest, RecognisesWineProcesses) {
  EXPECT_EQ(WineProgramArgument("wine64-preloader", {"C:\\Games\\Game.exe", "-windowed"}),
            "C:\\Games\\Game.exe");
  EXPECT_EQ(WineProgramArgument("wine", {"wine", "setup.EXE"}), "setup.EXE");
  EXPECT_EQ(WineProgramArgument("some-loader", {"Z:\\x\\GAME.EXE"}), "Z:\\x\\GAME.EXE");
  EXPECT_EQ(WineProgramArgument("wine64", {"ping", "-n", "3", "host"}), "ping.exe");
  EXPECT_FALSE(WineProgramArgument("wine64", {"wine64", "--version"}));
  EXPECT_FALSE(WineProgramArgument("wine64", {"/usr/lib/wine/wine64"}));
  EXPECT_FALSE(WineProgramArgument("wine64", {"foo.dll"}));
  EXPECT_FALSE(WineProgramArgument("bash", {"bash", "run.exe"}));  // native program
  EXPECT_FALSE(WineProgramArgument("bash", {}));
  EXPECT_FALSE(WineProgramArgument("wine", {".exe"}));
  EXPECT_EQ(SplitNul(std::string("a\0b c\0\0d", 8)),
            (std::vector<std::string>{"a", "b c", "", "d"}));
  EXPECT_EQ(SplitNul(std::string("a\0", 2)), (std::vector<std::string>{"a"}));
  EXPECT_EQ(WinePrefixFromEnvironment({"HOME=/home/u", "PATH=/bin"}), fs::path("/home/u/.wine"));
  EXPECT_EQ(WinePrefixFromEnvironment({"WINEPREFIX=/p/pfx", "HOME=/home/u"}), fs::path("/p/pfx"));
  EXPECT_FALSE(WinePrefixFromEnvironment({"WINEPREFIX="}));
}

TEST(WineProgramTest, FindsTheMappedImage) {
  const std::string maps =
      "5555-6666 r--p 00000000 08:01 123 /usr/lib/wine/wine64\n"
      "7000-8000 rw-p 00000000 00:00 0 [heap]\n"
      "7f00-7f10 r--p 00000000 08:01 456 /home/u/Games/My Game/GAME.EXE\n"
      "7f20-7f30 r--p 00000000 08:01 457 /home/u/old/game.exe (deleted)\n"
      "7f40-7f50 r-xp 00001000 08:01 456 /home/u/Games/My Game/GAME.EXE";
  EXPECT_EQ(MappedFileNamed(maps, "game.exe"), fs::path("/home/u/Games/My Game/GAME.EXE"));
  EXPECT_FALSE(MappedFileNamed(maps, "other.exe"));
  EXPECT_FALSE(MappedFileNamed(maps, "heap"));
  EXPECT_FALSE(MappedFileNamed("", "game.exe"));
}

TEST(WineProgramTest, ResolvesWindowsPathsInThePrefix) {
  const fs::path root = fs::temp_directory_path() / ("halvex_wine_" + std::to_string(getpid()));
  fs::remove_all(root);
  const fs::path prefix = root / "pfx";
  fs::create_directories(prefix / "drive_c/Games/My Game");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
  std::ofstream(prefix / "drive_c/Games/My Game/Game.exe") << "MZ";

  const fs::path exe = prefix / "dosdevices/c:/Games/My Game/Game.exe";
  EXPECT_EQ(ResolveWineProgram("C:\\Games\\My Game\\Game.exe", prefix, "/"), exe);
  EXPECT_EQ(ResolveWineProgram("c:\\games\\MY GAME\\GAME.EXE", prefix, "/"), exe);  // any case
  EXPECT_EQ(ResolveWineProgram("C:/Games/My Game/Game.exe", prefix, "/"), exe);
  EXPECT_EQ(ResolveWineProgram("Game.exe", prefix, prefix / "drive_c/Games/My Game"),
            prefix / "drive_c/Games/My Game/Game.exe");
  EXPECT_EQ(ResolveWineProgram((prefix / "drive_c/Games/My Game/Game.exe").string(), {}, {}),
            prefix / "drive_c/Games/My Game/Game.exe");
  EXPECT_FALSE(ResolveWineProgram("D:\\Game.exe", prefix, "/"));  // no such drive
  EXPECT_FALSE(ResolveWineProgram("C:\\Games\\Other.exe", prefix, "/"));
  EXPECT_FALSE(ResolveWineProgram("C:\\Games\\My Game", prefix, "/"));  // a folder
  EXPECT_FALSE(ResolveWineProgram("C:\\Games\\My Game\\Game.exe", {}, "/"));
  EXPECT_FALSE(ResolveWineProgram("\\\\server\\share\\Game.exe", prefix, "/"));
  EXPECT_FALSE(ResolveWineProgram("", prefix, "/"));
  fs::remove_all(root);
}

}  // namespace
}  // namespace halvex::proc
