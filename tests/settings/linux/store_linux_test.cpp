// Linux-only behaviour of the INI store: where the file lives and how a write fails safely.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

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

// A settings file that cannot be read says so once, naming the file and why, and every reader gets
// its default; a missing or ordinary file says nothing.
TEST_F(IniStoreLinuxTest, AnUnreadableFileIsReportedOnceWithItsReason) {
  struct Case {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    const char* reason;  // nullptr: no line at all
  };
  const Case cases[] = {
      {"missing", [](const auto&) {}, nullptr},
      {"ordinary", [](const auto& f) { WriteBytes(f, "[ClipSettings]\nDurationSeconds=30\n"); },
       nullptr},
      {"only comments", [](const auto& f) { WriteBytes(f, "; nada\n\n# todavia\n"); }, nullptr},
      {"binary", [](const auto& f) { WriteBytes(f, std::string("\x7F" "ELF\0\0\x01[x]=1", 12)); },
       "contiene datos binarios, no es texto"},
      {"latin-1", [](const auto& f) { WriteBytes(f, "[ClipSettings]\nSaveRoot=/v\xEDdeos\n"); },
       "no es texto UTF-8"},
      {"no sections", [](const auto& f) { WriteBytes(f, "DurationSeconds=60\nhola mundo\n"); },
       "no contiene ninguna seccion"},
      {"folder", [](const auto& f) { std::filesystem::create_directory(f); },
       "es una carpeta, no un archivo"},
      {"symlink loop", [](const auto& f) { std::filesystem::create_symlink(f, f); },
       std::strerror(ELOOP)},
      {"pipe", [](const auto& f) { ::mkfifo(f.c_str(), 0600); }, "no es un archivo normal"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    const std::filesystem::path file = folder.path() / "Halvex.ini";
    c.make(file);
    auto store = OpenProfileStore(file);
    log::Capture capture;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(ReadClipDurationSeconds(*store), 30) << c.what;
      EXPECT_EQ(ReadVideoQualitySettings(*store).fps, 60) << c.what;
    }
    if (c.reason == nullptr) {
      EXPECT_EQ(capture.Count("AVISO: "), 0u) << c.what;
      continue;
    }
    ASSERT_EQ(capture.Count("AVISO: "), 1u) << c.what;
    const std::string line = capture.Lines().front();
    EXPECT_NE(line.find(file.string()), std::string::npos) << line;
    EXPECT_NE(line.find(c.reason), std::string::npos) << line;
  }
}

// Sets a file's modification time, as an editor that keeps time stamps, or a copy, would.
void SetModified(const std::filesystem::path& file, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// One parse serves a whole batch of reads: a file is read again only when its identity, size or
// modification time changes. The rewrite that keeps all three is the one change that cannot show,
// which is what proves the reads in between did not touch the file.
TEST_F(IniStoreLinuxTest, ReadsOnceUntilSizeOrTimeChanges) {
  const time_t old = ::time(nullptr) - 3600;
  WriteFile("[ClipSettings]\nDurationSeconds=60\n");
  SetModified(file_, old);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 60);

  WriteFile("[ClipSettings]\nDurationSeconds=90\n");  // same size, rewritten in place
  SetModified(file_, old);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 60) << "the file was read again for one key";
  // Another store over the same file shares what was read.
  EXPECT_EQ(ReadClipDurationSeconds(*OpenProfileStore(file_)), 60);

  SetModified(file_, old + 1);  // a newer time
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 90);

  WriteFile("[ClipSettings]\nDurationSeconds=120\n");  // a new size, the same old time
  SetModified(file_, old + 1);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 120);

  // Replaced by another file of the same size and time: a new identity.
  const auto other = folder_.path() / "other.ini";
  WriteBytes(other, "[ClipSettings]\nDurationSeconds=180\n");
  SetModified(other, old + 1);
  std::filesystem::rename(other, file_);
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 180);

  // A file changed moments ago is read every time: two changes within the file system's time
  // resolution could share one time stamp.
  WriteFile("[ClipSettings]\nDurationSeconds=240\n");
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 240);
  WriteFile("[ClipSettings]\nDurationSeconds=300\n");
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 300);

  // Our own write is seen at once.
  ASSERT_TRUE(WriteClipDurationSeconds(45, *store_));
  EXPECT_EQ(ReadClipDurationSeconds(*store_), 45);
}

}  // namespace
}  // namespace halvex::settings
