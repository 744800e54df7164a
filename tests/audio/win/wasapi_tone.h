#pragma once
// Plays a sine through a WASAPI render client from this process, so the tests have a stream of
// their own in the system mixer (and real sound on a device that a capture endpoint monitors).
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <string>
#include <thread>

namespace halvex::testing {

class WasapiTone {
 public:
  ~WasapiTone() { Stop(); }
  // `deviceId` empty = the default output. False with `error` when the stream did not start.
  bool Start(const std::wstring& deviceId, double hz, std::string& error);
  void Stop();

 private:
  void Run();

  Microsoft::WRL::ComPtr<IAudioClient> client_;
  Microsoft::WRL::ComPtr<IAudioRenderClient> render_;
  WAVEFORMATEX* format_ = nullptr;
  UINT32 bufferFrames_ = 0;
  double hz_ = 440;
  double phase_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace halvex::testing
