#pragma once
// Opening a capture device on the device the user saved, and starting it for a session. A saved
// device that is gone gives way to the default one and the setting is cleared, so the next start
// does not look for it again. A start that fails reopens the same device once.
#include <string>
#include <string_view>

#include "audio/audio_sources.h"
#include "settings/profile_store.h"

namespace halvex {

class DeviceOpener {
 public:
  // What differs between the output's loopback and the microphone: their lines and their setting.
  struct Role {
    const char* goneLine;      // the saved device is gone; the default is used
    const char* retryingLine;  // a start failed; the device is reopened
    const char* failedLine;    // the reopened device did not start either
    bool (*saveId)(std::string_view id, const settings::ProfileStore& store);
  };

  // `device` must outlive the opener.
  DeviceOpener(ICaptureDevice& device, Role role) : device_(device), role_(role) {}

  // Opens `savedId` (empty = the default device) and keeps its format. False when neither the
  // saved nor the default device opens.
  bool Open(std::string savedId, const settings::ProfileStore& store);
  // Starts the opened device. When that fails it is reopened once and taken only in the format
  // it had: the encoders were opened for that one.
  bool Start();

  // The device in use: the saved one, or empty once it fell back to the default.
  const std::string& Id() const { return id_; }
  int Rate() const { return rate_; }
  int Channels() const { return channels_; }

 private:
  ICaptureDevice& device_;
  Role role_;
  std::string id_;
  int rate_ = 0;
  int channels_ = 0;
};

}  // namespace halvex
