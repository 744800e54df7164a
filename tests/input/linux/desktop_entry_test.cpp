#include "input/linux/desktop_entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace halvex::desktop {
namespace {
namespace fs = std::filesystem;

TEST(DesktopEntryTest, ParsesTheMainGroupOnly) {
  const auto entry = Parse(
      "# comment\n[Desktop Entry]\nType=Application\nName=Super Game\nName[es]=Súper Juego\n"
      "Exec=env SDL_VIDEODRIVER=x11 \"/opt/super game/bin/game\" %U\r\n"
      "StartupWMClass=SuperGame\n[Desktop Action New]\nName=Other\nExec=other\n");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "Super Game");
  EXPECT_TRUE(entry->application);
  EXPECT_FALSE(entry->hidden);
  EXPECT_EQ(entry->startupWmClass, "SuperGame");
  EXPECT_EQ(ExecProgram(entry->exec), "/opt/super game/bin/game");
  EXPECT_FALSE(Parse("[Other]\nName=x\n"));
  EXPECT_FALSE(Parse(""));
  EXPECT_EQ(ExecProgram("supertux2 --fullscreen"), "supertux2");
  EXPECT_EQ(ExecProgram("\"my \\\"game\\\"\" -x"), "my \"game\"");
  EXPECT_EQ(ExecProgram("env A=1 B=2"), "");
  EXPECT_EQ(ExecProgram(""), "");
}

class DesktopSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("halvex_desktop_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "home/sub");
    fs::create_directories(root / "system");
  }
  void TearDown() override { fs::remove_all(root); }
  void Write(const fs::path& file, const std::string& body) {
    std::ofstream(root / file) << "[Desktop Entry]\nType=Application\n" << body;
  }
  std::optional<std::string> Find(const fs::path& exe) {
    return NameForExecutable(exe, {root / "home", root / "system", root / "missing"});
  }
  fs::path root;
};

TEST_F(DesktopSearchTest, MatchesExecOrWindowClassInFolderOrder) {
  Write("system/a.desktop", "Name=System Kart\nExec=supertuxkart %f\n");
  Write("home/sub/b.desktop", "Name=My Kart\nExec=/usr/games/supertuxkart\n");
  Write("system/c.desktop", "Name=Racer\nExec=launch-racer\nStartupWMClass=Racer-Bin\n");
  Write("system/d.desktop", "Name=Gone\nExec=oldgame\nHidden=true\n");
  Write("system/e.desktop", "Name=Shell Tool\nExec=bash -c thing\n");
  Write("system/notes.txt", "Name=Not An Entry\nExec=notes\n");
  EXPECT_EQ(Find("/usr/games/supertuxkart"), "My Kart");  // the user's folder comes first
  EXPECT_EQ(Find("/opt/racer/racer-bin"), "Racer");
  EXPECT_EQ(Find("/usr/bin/oldgame"), std::nullopt);
  EXPECT_EQ(Find("/usr/bin/bash"), std::nullopt);  // interpreters name other programs
  EXPECT_EQ(Find("/usr/bin/notes"), std::nullopt);
  EXPECT_EQ(Find("/usr/bin/unknown"), std::nullopt);
}

TEST_F(DesktopSearchTest, OversizedFilesAreSkipped) {
  Write("system/big.desktop", "Name=Big\nExec=biggame\n" + std::string(100 * 1024, '#'));
  EXPECT_EQ(Find("/usr/bin/biggame"), std::nullopt);
}

}  // namespace
}  // namespace halvex::desktop
