#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "update/installed_version.h"

namespace halvex {
namespace {

class InstalledVersionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("halvex-update-test-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string With(const std::string& contents) {
    std::ofstream(dir_ / ".halvex-version", std::ios::binary | std::ios::trunc) << contents;
    return ReadInstalledVersion(dir_);
  }

  std::filesystem::path dir_;
};

TEST_F(InstalledVersionTest, FileIsTrimmedAndValidated) {
  EXPECT_EQ(ReadInstalledVersion(dir_), "2.1.13");  // no file yet
  EXPECT_EQ(With("2.2.0\n"), "2.2.0");
  EXPECT_EQ(With(" \t2.3.1\r\n\r\n"), "2.3.1");
  EXPECT_EQ(With(std::string(32, '1')), std::string(32, '1'));
  for (const char* bad : {"", "\n", "abc", "...", "2.2.0 beta", "2.2\n0", "\xEF\xBB\xBF" "2.2.0"})
    EXPECT_EQ(With(bad), "2.1.13") << bad;
  EXPECT_EQ(With(std::string(33, '1')), "2.1.13");
}

TEST_F(InstalledVersionTest, FolderInsteadOfFileGivesTheBuiltInVersion) {
  std::filesystem::create_directory(dir_ / ".halvex-version");
  EXPECT_EQ(ReadInstalledVersion(dir_), "2.1.13");
}

TEST(RunningExecutableTest, InstalledVersionIsReadBesideThisBinary) {
  const std::optional<std::filesystem::path> exe = RunningExecutablePath();
  ASSERT_TRUE(exe);
  EXPECT_TRUE(exe->filename() == "halvex_update_tests" || exe->filename() == "halvex_update_tests.exe")
      << exe->string();
  const std::filesystem::path file = exe->parent_path() / ".halvex-version";
  std::filesystem::remove(file);
  EXPECT_EQ(GetInstalledVersion(), "2.1.13");
  std::ofstream(file, std::ios::binary) << "3.0.7\n";
  const std::string version = GetInstalledVersion();
  std::filesystem::remove(file);
  EXPECT_EQ(version, "3.0.7");
}

}  // namespace
}  // namespace halvex
