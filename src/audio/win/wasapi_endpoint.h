#pragma once
// One shared-mode WASAPI capture client at the device's own mix format: the loopback of an output
// (render) endpoint or a microphone (capture) endpoint. Both sources open their device through it.
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <string>

#include "audio/win/wasapi_format.h"

namespace halvex::wasapi {

class WasapiEndpoint {
 public:
  enum class Kind { Loopback, Microphone };

  explicit WasapiEndpoint(Kind kind) : kind_(kind) {}
  ~WasapiEndpoint() { Close(); }
  WasapiEndpoint(const WasapiEndpoint&) = delete;
  WasapiEndpoint& operator=(const WasapiEndpoint&) = delete;

  // Releases any earlier client first. Logs each failing step.
  bool Open(const std::string& deviceId);
  // Releases the client; COM is left as this object found it.
  void Close();

  IAudioClient* Client() const { return client_.Get(); }
  IAudioCaptureClient* Capture() const { return capture_.Get(); }
  const MixFormat& Format() const { return format_; }
  bool IsOpen() const { return capture_.Get() != nullptr; }
  bool started = false;

 private:
  void Release();

  Kind kind_;
  Microsoft::WRL::ComPtr<IMMDeviceEnumerator> enumerator_;
  Microsoft::WRL::ComPtr<IMMDevice> device_;
  Microsoft::WRL::ComPtr<IAudioClient> client_;
  Microsoft::WRL::ComPtr<IAudioCaptureClient> capture_;
  WAVEFORMATEX* mixFormat_ = nullptr;
  MixFormat format_;
  std::string deviceId_;
  bool comOwned_ = false;
};

// Capture time of a packet's first frame from the QPC position GetBuffer reports (100-ns units of
// the performance counter, the program's monotonic clock); now minus the packet's length when the
// device gives none.
int64_t PacketCaptureNs(UINT64 qpcPosition, UINT32 frames, int rate);

}  // namespace halvex::wasapi
