// Opening a capture device on the saved id with the fall-back to the default device, and the one
// retry of a failed start.
#include "audio/device_opener.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "core/log.h"
#include "settings/audio_settings.h"
#include "settings/profile_store.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;

class FakeCaptureDevice final : public ICaptureDevice {
 public:
  bool Open(const std::string& id) override {
    ++opens;
    if (opens > 1 && rateAfterReopen != 0) rate = rateAfterReopen;
    open = id.empty() ? defaultPresent : known.count(id) != 0;
    return open;
  }
  bool Start() override {
    if (!open || startFailures > 0) {
      --startFailures;
      return false;
    }
    return started = true;
  }
  void Stop() override { started = false; }
  void Close() override { open = started = false; }
  int SampleRate() const override { return rate; }
  int Channels() const override { return 2; }
  bool Ended() const override { return false; }

  std::set<std::string> known{"real"};
  bool defaultPresent = true;
  int rate = 48000;
  int rateAfterReopen = 0;
  int startFailures = 0;
  int opens = 0;
  bool open = false, started = false;
};

const DeviceOpener::Role kRole{"ido", "reintentando", "sin inicio",
                               &settings::WriteMicrophoneDeviceId};

class DeviceOpenerTest : public ::testing::Test {
 protected:
  DeviceOpenerTest() {
    std::random_device rd;
    folder_ = fs::temp_directory_path() / ("halvex-device-opener-" + std::to_string(rd()));
    fs::create_directories(folder_);
    store_ = settings::OpenProfileStore(folder_ / "Halvex.ini");
  }
  ~DeviceOpenerTest() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  fs::path folder_;
  std::unique_ptr<settings::ProfileStore> store_;
};

TEST_F(DeviceOpenerTest, ASavedDeviceThatIsGoneGivesWayToTheDefaultAndIsForgotten) {
  struct Case {
    const char* saved;
    bool defaultPresent;
    bool opens;
    const char* idInUse;
    const char* settingAfter;
    bool goneLine;
  };
  const Case cases[] = {
      {"", true, true, "", "", false},
      {"real", true, true, "real", "real", false},
      {"real", false, true, "real", "real", false},
      {"viejo", true, true, "", "", true},
      {"viejo", false, false, "", "", true},
      {"", false, false, "", "", false},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(settings::WriteMicrophoneDeviceId(c.saved, *store_));
    FakeCaptureDevice device;
    device.defaultPresent = c.defaultPresent;
    device.rate = 44100;
    DeviceOpener opener(device, kRole);
    log::Capture logs;
    EXPECT_EQ(opener.Open(c.saved, *store_), c.opens) << c.saved << c.defaultPresent;
    EXPECT_EQ(opener.Id(), c.idInUse) << c.saved << c.defaultPresent;
    EXPECT_EQ(settings::ReadMicrophoneDeviceId(*store_), c.settingAfter) << c.saved;
    EXPECT_EQ(logs.Contains("ido"), c.goneLine) << c.saved << c.defaultPresent;
    if (c.opens) {
      EXPECT_EQ(opener.Rate(), 44100);
    }
  }
}

TEST_F(DeviceOpenerTest, AFailedStartReopensTheSameDeviceOnceInItsFormat) {
  struct Case {
    int startFailures;
    int rateAfterReopen;
    bool started;
    bool retryLine;
    bool failedLine;
  };
  const Case cases[] = {
      {0, 0, true, false, false},
      {1, 0, true, true, false},
      {1, 44100, false, true, true},  // came back in another format
      {2, 0, false, true, true},
  };
  for (const Case& c : cases) {
    FakeCaptureDevice device;
    DeviceOpener opener(device, kRole);
    ASSERT_TRUE(opener.Open("real", *store_));
    device.startFailures = c.startFailures;
    device.rateAfterReopen = c.rateAfterReopen;
    log::Capture logs;
    EXPECT_EQ(opener.Start(), c.started) << c.startFailures << " " << c.rateAfterReopen;
    EXPECT_EQ(logs.Contains("reintentando"), c.retryLine) << c.startFailures;
    EXPECT_EQ(logs.Contains("sin inicio"), c.failedLine) << c.startFailures;
    // The retry opens the device it had, never the default.
    EXPECT_EQ(device.opens, c.startFailures > 0 ? 2 : 1);
    EXPECT_EQ(opener.Id(), "real");
  }
}

}  // namespace
}  // namespace halvex
