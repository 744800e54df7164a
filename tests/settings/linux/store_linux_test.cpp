// Linux-only behaviour of the INI store: where the file lives and how a write fails safely.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "core/log.h"
#include "settings/settings.h"
#include "settings/settings_test_util.h"

namespace halvex::settings {
namespace {

using testing::ReadBytes;
using testing::StoreTest;
using testing::TempFolder;
using testing::WriteBytes;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

size_t FilesIn(const std::filesystem::path& folder) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) (void)entry, ++n;
  return n;
}

TEST(SettingsPathLinuxTest, FollowsXdgConfigHome) {
  TempFolder folder;
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", folder.path().c_str());
    EXPECT_EQ(SettingsPath(), folder.path() / "Halvex.ini");
    // The user store goes there, creating nothing until the first write.
    ASSERT_TRUE(WriteClipDurationSeconds(90));
    EXPECT_EQ(ReadClipDurationSeconds(), 90);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Halvex.ini"));
  }
  ScopedEnv home("HOME", folder.path().c_str());
  {
    ScopedEnv relative("XDG_CONFIG_HOME", "relative/dir");  // invalid by the XDG rules
    EXPECT_EQ(SettingsPath(), folder.path() / ".config" / "Halvex.ini");
  }
  ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(SettingsPath(), folder.path() / ".config" / "Halvex.ini");
  // ~/.config may not exist yet: the first write creates it.
  ASSERT_TRUE(WriteSaveRoot("/home/u/Vídeos"));
  EXPECT_EQ(ReadSaveRoot(), "/home/u/Vídeos");
}

using IniStoreLinuxTest = StoreTest;

TEST_F(IniStoreLinuxTest, AFullDiskLeavesTheOldFileIntact) {
  WriteFile("[ClipSettings]\nDurationSeconds=60\n");
  const std::string before = ReadBytes(file_);
  // The file-size limit makes write() fail as a full disk would, even for root.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool wrote;
  {
    log::Capture capture;
    wrote = store_->WriteString("ClipSettings", "SaveRoot", std::string(4096, 'r'));
    EXPECT_TRUE(capture.Contains("se conserva el anterior"));
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(wrote);
  EXPECT_EQ(ReadBytes(file_), before);
  EXPECT_EQ(FilesIn(folder_.path()), 1u);  // no temporary file left behind
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 60);
}

TEST_F(IniStoreLinuxTest, AnUnwritableFolderLeavesTheOldFileIntact) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  WriteFile("[ClipSettings]\nDurationSeconds=60\n");
  ::chmod(folder_.path().c_str(), 0555);
  log::Capture capture;
  EXPECT_FALSE(store_->WriteString("ClipSettings", "DurationSeconds", "90"));
  ::chmod(folder_.path().c_str(), 0755);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 60);
}

TEST_F(IniStoreLinuxTest, AnUnreadableFileIsNotOverwritten) {
  // A folder where the file should be: it cannot be read, so a write must not replace it.
  std::filesystem::create_directory(file_);
  log::Capture capture;
  EXPECT_FALSE(store_->WriteString("ClipSettings", "DurationSeconds", "90"));
  EXPECT_TRUE(std::filesystem::is_directory(file_));
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 30);
}

TEST_F(IniStoreLinuxTest, WritesKeepSymlinksModeAndUtf8) {
  const auto real = folder_.path() / "dotfiles-Halvex.ini";
  WriteBytes(real, "\xEF\xBB\xBF[ClipSettings]\r\nDurationSeconds=60\r\n");
  ::chmod(real.c_str(), 0640);
  std::filesystem::create_symlink(real, file_);
  ASSERT_TRUE(WriteSaveRoot("/srv/clips/ñ", *store_));
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadBytes(real),
            "\xEF\xBB\xBF[ClipSettings]\r\nDurationSeconds=60\r\nSaveRoot=/srv/clips/\xC3\xB1\r\n");
}

}  // namespace
}  // namespace halvex::settings
