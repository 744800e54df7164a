#pragma once
// Programs with an audio session on an output device (IAudioSessionManager2), their system
// volume (ISimpleAudioVolume), and per-process capture through the process-loopback device.
#include <audiopolicy.h>
#include <wrl/client.h>

#include <functional>

#include "audio/audio_sources.h"

namespace halvex::wasapi {

class WasapiAudioSessions final : public IAudioSessions {
 public:
  // `perProcess`: whether this system has process loopback (not in Windows 10 mode).
  explicit WasapiAudioSessions(bool perProcess) : perProcess_(perProcess) {}

  bool List(const std::string& deviceId, std::vector<AudioSessionInfo>& sessions) override;
  std::unique_ptr<IProcessCapture> StartCapture(const std::string& deviceId,
                                                const ProcessCaptureTarget& target) override;
  void SetSessionVolume(const std::string& deviceId, AudioProcessId pid, float volume) override;
  bool PerProcessSupported() const override { return perProcess_; }

 private:
  // Calls `visit` for each session of the device that is not expired; false (logged once per
  // failing step until one succeeds) when the sessions could not be walked.
  bool ForEachSession(const std::string& deviceId,
                      const std::function<void(IAudioSessionControl2&, DWORD pid)>& visit);

  bool perProcess_;
  bool warned_ = false;
};

// Whether the running system has process loopback (build 22000 and later: outside Windows 10 mode).
bool SystemHasProcessLoopback();

// Executable file name and product name (version resource) of a process; empty when unreadable.
std::string ProcessImageName(DWORD pid);
std::string ProcessProductName(DWORD pid);

}  // namespace halvex::wasapi
