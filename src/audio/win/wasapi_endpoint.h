#pragma once
// One shared-mode WASAPI capture client at the device's own mix format: the loopback of an output
// (render) endpoint or a microphone (capture) endpoint. Both sources open their device through it.
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "audio/win/wasapi_format.h"
#include "core/win/com_apartment.h"

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
  std::unique_ptr<ComApartment> apartment_;  // the last one this object initialised
};

// Capture time of a packet's first frame from the QPC position GetBuffer reports (100-ns units of
// the performance counter, the program's monotonic clock); now minus the packet's length when the
// device gives none.
int64_t PacketCaptureNs(UINT64 qpcPosition, UINT32 frames, int rate);

// Reads every packet the client holds, handing each (converted) to `sink`. False when the device
// went away.
template <typename Sink>
bool DrainPackets(IAudioCaptureClient* capture, const MixFormat& format, std::vector<float>& buffer,
                  bool& readAny, HRESULT& failure, const std::atomic<bool>* stop, Sink&& sink) {
  UINT32 packet = 0;
  HRESULT hr = capture->GetNextPacketSize(&packet);
  while (SUCCEEDED(hr) && packet != 0 && !(stop && *stop)) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 qpc = 0;
    hr = capture->GetBuffer(&data, &frames, &flags, nullptr, &qpc);
    if (FAILED(hr)) break;
    buffer.assign(static_cast<size_t>(frames) * format.channels, 0.0f);
    ConvertPacket(format, data, frames, (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0, buffer.data());
    capture->ReleaseBuffer(frames);
    sink(buffer, frames, PacketCaptureNs(qpc, frames, format.rate));
    readAny = true;
    hr = capture->GetNextPacketSize(&packet);
  }
  failure = hr;
  return hr != AUDCLNT_E_DEVICE_INVALIDATED && hr != AUDCLNT_E_SERVICE_NOT_RUNNING;
}

}  // namespace halvex::wasapi
