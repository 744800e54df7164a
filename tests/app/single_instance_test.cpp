#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "core/log.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
using Result = SingleInstance::Result;

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/halvex-si-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  // Wake requests arrive asynchronously; poll as the main loop would, for up to five seconds.
  static bool WaitForWake(SingleInstance& primary) {
    for (int i = 0; i < 500; ++i) {
      if (primary.PollWake()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  int ConnectRaw() {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = (folder_ / "halvex.sock").string();
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }

  fs::path folder_;
};

TEST_F(SingleInstanceTest, SecondClaimHandsOverAndWakesThePrimaryOnce) {
  auto first = SingleInstance::Acquire(folder_);
  ASSERT_EQ(first.result, Result::Primary) << first.error;
  ASSERT_TRUE(first.instance);
  EXPECT_FALSE(first.instance->PollWake());

  auto second = SingleInstance::Acquire(folder_);
  EXPECT_EQ(second.result, Result::HandedOver);
  EXPECT_FALSE(second.instance);
  EXPECT_TRUE(WaitForWake(*first.instance));
  EXPECT_FALSE(first.instance->PollWake()) << "one request, one wake";

  // Two requests before the next poll are reported together.
  ASSERT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  ASSERT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  EXPECT_TRUE(WaitForWake(*first.instance));
  EXPECT_FALSE(first.instance->PollWake());
}

TEST_F(SingleInstanceTest, ReleasedClaimCanBeTakenAgainAndItsSocketIsGone) {
  {
    auto first = SingleInstance::Acquire(folder_);
    ASSERT_EQ(first.result, Result::Primary) << first.error;
    EXPECT_TRUE(fs::exists(folder_ / "halvex.sock"));
  }
  EXPECT_FALSE(fs::exists(folder_ / "halvex.sock"));
  auto again = SingleInstance::Acquire(folder_);
  EXPECT_EQ(again.result, Result::Primary) << again.error;
}

TEST_F(SingleInstanceTest, StaleSocketOfACrashedRunDoesNotBlockANewPrimary) {
  // A bound socket whose owner is gone, as a killed run leaves it.
  {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = (folder_ / "halvex.sock").string();
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  }
  auto primary = SingleInstance::Acquire(folder_);
  ASSERT_EQ(primary.result, Result::Primary) << primary.error;
  ASSERT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  EXPECT_TRUE(WaitForWake(*primary.instance));
}

TEST_F(SingleInstanceTest, InstanceInAnotherProcessWakesThePrimary) {
  auto primary = SingleInstance::Acquire(folder_);
  ASSERT_EQ(primary.result, Result::Primary) << primary.error;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const auto claim = SingleInstance::Acquire(folder_);
    ::_exit(claim.result == Result::HandedOver ? 0 : 10 + static_cast<int>(claim.result));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(WaitForWake(*primary.instance));
}

TEST_F(SingleInstanceTest, PrimaryKilledWithoutCleanupLeavesTheClaimFree) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto claim = SingleInstance::Acquire(folder_);
    if (claim.result != Result::Primary) ::_exit(1);
    ::pause();  // killed below, the destructor never runs
    ::_exit(2);
  }
  // Wait until the child holds the claim (a later claim hands over), then kill it.
  bool handedOver = false;
  for (int i = 0; i < 200 && !handedOver; ++i) {
    if (fs::exists(folder_ / "halvex.sock")) {
      handedOver = SingleInstance::Acquire(folder_).result == Result::HandedOver;
    }
    if (!handedOver) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_TRUE(handedOver);
  ASSERT_TRUE(fs::exists(folder_ / "halvex.sock")) << "the crashed run's socket file stays";

  auto next = SingleInstance::Acquire(folder_);
  ASSERT_EQ(next.result, Result::Primary) << next.error;
  ASSERT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  EXPECT_TRUE(WaitForWake(*next.instance));
}

TEST_F(SingleInstanceTest, ClientsThatSayNothingOrSomethingElseNeitherWakeNorBlock) {
  auto primary = SingleInstance::Acquire(folder_);
  ASSERT_EQ(primary.result, Result::Primary) << primary.error;
  const int silent = ConnectRaw();
  ASSERT_GE(silent, 0);
  const int other = ConnectRaw();
  ASSERT_GE(other, 0);
  ASSERT_EQ(::send(other, "hello\n", 6, 0), 6);
  ::close(other);
  for (int i = 0; i < 20; ++i) {
    EXPECT_FALSE(primary.instance->PollWake());  // returns at once although `silent` stays open
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // Many idle connections, more than the backlog, do not keep a real request out.
  int idle[12];
  for (int& fd : idle) {
    fd = ConnectRaw();
    EXPECT_FALSE(primary.instance->PollWake());
  }
  ASSERT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  EXPECT_TRUE(WaitForWake(*primary.instance));
  for (int fd : idle) ::close(fd);
  ::close(silent);
}

TEST_F(SingleInstanceTest, SecondInstanceEndsEvenWhenThePrimaryNeverListens) {
  // The primary may hold the lock but not yet have bound its socket: hand over, do not hang.
  auto primary = SingleInstance::Acquire(folder_);
  ASSERT_EQ(primary.result, Result::Primary) << primary.error;
  fs::remove(folder_ / "halvex.sock");
  log::Capture lines;
  EXPECT_EQ(SingleInstance::Acquire(folder_).result, Result::HandedOver);
  EXPECT_TRUE(lines.Contains("no respondio"));
}

TEST_F(SingleInstanceTest, UnusableOrSharedFolderFails) {
  const fs::path file = folder_ / "plain-file";
  { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
  auto onFile = SingleInstance::Acquire(file);
  EXPECT_EQ(onFile.result, Result::Failed);
  EXPECT_FALSE(onFile.error.empty());

  // Readable by others: someone else could have made it, so it is not used.
  const fs::path open = folder_ / "open";
  fs::create_directory(open);
  ::chmod(open.c_str(), 0777);
  EXPECT_EQ(SingleInstance::Acquire(open).result, Result::Failed);
}

TEST(SingleInstanceFolder, RuntimeFolderElsePrivateTmpFolder) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(SingleInstance::DefaultFolder(), fs::path("/run/user/4242"));
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(SingleInstance::DefaultFolder(), fs::path("/tmp/halvex-" + std::to_string(::getuid())));
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(SingleInstance::DefaultFolder(), fs::path("/tmp/halvex-" + std::to_string(::getuid())));
  if (saved) ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace halvex
