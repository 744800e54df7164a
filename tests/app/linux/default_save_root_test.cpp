// Without a save root, clips go to the player's videos folder as xdg-user-dirs names it, never to
// whatever directory the program was started from.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/save_path.h"
#include "clipfile/test_media.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DefaultSaveRoot, XdgVideosFolderThenVideosUnderHome) {
  const fs::path home = testmedia::FreshDir("default-root");
  ScopedEnv homeVar("HOME", home.c_str());
  ScopedEnv config("XDG_CONFIG_HOME", nullptr);
  struct Case {
    const char* userDirs;  // nullptr: no user-dirs.dirs at all
    fs::path expected;
  };
  const Case cases[] = {
      {nullptr, home / "Videos" / "Halvex"},
      {"XDG_VIDEOS_DIR=\"$HOME/V\xC3\xAD" "deos\"\n", home / "V\xC3\xAD" "deos" / "Halvex"},
      {"# written by xdg-user-dirs-update\nXDG_MUSIC_DIR=\"$HOME/Music\"\n"
       "XDG_VIDEOS_DIR=\"/srv/media/videos\"\n",
       fs::path("/srv/media/videos") / "Halvex"},
      {"XDG_VIDEOS_DIR=\"$HOME/\"\n", home / "Videos" / "Halvex"},  // switched off
      {"XDG_VIDEOS_DIR=\"relative/videos\"\n", home / "Videos" / "Halvex"},  // invalid
      {"XDG_VIDEOS_DIRECTORY=\"/elsewhere\"\n", home / "Videos" / "Halvex"},
  };
  for (const Case& c : cases) {
    fs::remove_all(home / ".config");
    if (c.userDirs) {
      fs::create_directories(home / ".config");
      std::ofstream(home / ".config" / "user-dirs.dirs") << c.userDirs;
    }
    EXPECT_EQ(EffectiveSaveRoot(""), c.expected) << (c.userDirs ? c.userDirs : "(none)");
  }

  // XDG_CONFIG_HOME says where user-dirs.dirs is.
  const fs::path elsewhere = home / "conf";
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "user-dirs.dirs") << "XDG_VIDEOS_DIR=\"$HOME/Clips de video\"\n";
  ScopedEnv xdg("XDG_CONFIG_HOME", elsewhere.c_str());
  EXPECT_EQ(EffectiveSaveRoot(""), home / "Clips de video" / "Halvex");
  // A configured root is used as it is.
  EXPECT_EQ(EffectiveSaveRoot("/srv/clips"), fs::path("/srv/clips"));
}

}  // namespace
}  // namespace halvex
