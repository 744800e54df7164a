#include "wasapi_tone.h"

#include <cmath>
#include <cstdio>

#include "audio/win/wasapi_format.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"

namespace halvex::testing {

using Microsoft::WRL::ComPtr;

bool WasapiTone::Start(const std::wstring& deviceId, double hz, std::string& error) {
  Stop();
  hz_ = hz;
  ComPtr<IMMDeviceEnumerator> enumerator;
  ComPtr<IMMDevice> device;
  HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&enumerator));
  if (SUCCEEDED(hr)) {
    hr = deviceId.empty() ? enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device)
                          : enumerator->GetDevice(deviceId.c_str(), &device);
  }
  if (SUCCEEDED(hr)) hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &client_);
  if (SUCCEEDED(hr)) hr = client_->GetMixFormat(&format_);
  if (SUCCEEDED(hr) && wasapi::DescribeMixFormat(*format_).isFloat == false) hr = E_UNEXPECTED;
  if (SUCCEEDED(hr)) {
    hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, 2000000, 0, format_, nullptr);
  }
  if (SUCCEEDED(hr)) hr = client_->GetBufferSize(&bufferFrames_);
  if (SUCCEEDED(hr)) hr = client_->GetService(IID_PPV_ARGS(&render_));
  if (SUCCEEDED(hr)) hr = client_->Start();
  if (FAILED(hr)) {
    error = "render client failed, hr=0x" + HrHex(hr);
    Stop();
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void WasapiTone::Run() {
  ComApartment com;
  const int channels = format_->nChannels;
  const double step = 2 * 3.14159265358979 * hz_ / format_->nSamplesPerSec;
  while (!stop_) {
    UINT32 padding = 0;
    if (FAILED(client_->GetCurrentPadding(&padding))) break;
    const UINT32 frames = bufferFrames_ - padding;
    BYTE* data = nullptr;
    if (frames > 0 && SUCCEEDED(render_->GetBuffer(frames, &data))) {
      auto* out = reinterpret_cast<float*>(data);
      for (UINT32 f = 0; f < frames; ++f, phase_ += step) {
        for (int c = 0; c < channels; ++c) out[f * channels + c] = 0.5f * std::sin(phase_);
      }
      render_->ReleaseBuffer(frames, 0);
    }
    Sleep(10);
  }
}

void WasapiTone::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (client_) client_->Stop();
  render_.Reset();
  client_.Reset();
  if (format_) CoTaskMemFree(format_);
  format_ = nullptr;
}

}  // namespace halvex::testing
