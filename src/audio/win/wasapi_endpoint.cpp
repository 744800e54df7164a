#include "audio/win/wasapi_endpoint.h"

#include "core/audio_timeline.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/text.h"
#include "core/win/hresult_text.h"

namespace halvex::wasapi {
namespace {

constexpr REFERENCE_TIME kBufferDuration = 2000000;  // 200 ms

void Fail(const char* what, HRESULT hr) {
  log::Line(std::string("WASAPI: ") + what + " (hr=0x" + HrHex(hr) + ")");
}

}  // namespace

int64_t PacketCaptureNs(UINT64 qpcPosition, UINT32 frames, int rate) {
  if (qpcPosition != 0) return static_cast<int64_t>(qpcPosition) * 100;
  return NowNs() - FramesToNs(frames, rate);
}

void WasapiEndpoint::Release() {
  if (started && client_) client_->Stop();
  started = false;
  capture_.Reset();
  client_.Reset();
  device_.Reset();
  if (mixFormat_) CoTaskMemFree(mixFormat_);
  mixFormat_ = nullptr;
  format_ = {};
}

void WasapiEndpoint::Close() {
  Release();
  enumerator_.Reset();
  apartment_.reset();
}

bool WasapiEndpoint::Open(const std::string& deviceId) {
  Release();
  deviceId_ = deviceId;
  const bool loopback = kind_ == Kind::Loopback;
  // The loopback keeps its enumerator (and apartment) across reopenings.
  if (!loopback || !enumerator_) {
    auto apartment = std::make_unique<ComApartment>();
    if (apartment->Owns()) {
      // The earlier apartment ends only after this one began, so COM stays up in between.
      apartment_ = std::move(apartment);
    } else if (!apartment->Ok()) {
      Fail("CoInitializeEx fallo", apartment->Result());
      return false;
    }
  }
  HRESULT hr = S_OK;
  if (!enumerator_) {
    hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                          IID_PPV_ARGS(&enumerator_));
    if (FAILED(hr)) {
      Fail("no se pudo crear el enumerador de dispositivos", hr);
      return false;
    }
  }
  if (!deviceId.empty()) {
    hr = enumerator_->GetDevice(reinterpret_cast<LPCWSTR>(text::Utf8ToUtf16(deviceId).c_str()),
                                &device_);
  } else {
    hr = enumerator_->GetDefaultAudioEndpoint(loopback ? eRender : eCapture, eConsole, &device_);
  }
  if (FAILED(hr) || !device_) {
    Fail(loopback ? "no se pudo abrir el dispositivo de salida solicitado"
                  : "no hay microfono por defecto",
         hr);
    Release();
    return false;
  }
  hr = device_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, &client_);
  if (FAILED(hr)) {
    Fail("IMMDevice::Activate(IAudioClient) fallo", hr);
    Release();
    return false;
  }
  hr = client_->GetMixFormat(&mixFormat_);
  if (FAILED(hr) || !mixFormat_) {
    Fail("GetMixFormat fallo", hr);
    Release();
    return false;
  }
  format_ = DescribeMixFormat(*mixFormat_);
  if (format_.unexpected) {
    log::Line("WASAPI: formato de mezcla inesperado (" +
              std::to_string(mixFormat_->wBitsPerSample) + " bits, " + (format_.isFloat ? "float" : "no-float") +
              ") - el audio capturado puede sonar mal");
  }
  const DWORD flags = loopback ? AUDCLNT_STREAMFLAGS_LOOPBACK
                               : AUDCLNT_STREAMFLAGS_EVENTCALLBACK |
                                     AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;
  hr = client_->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, kBufferDuration, 0, mixFormat_,
                           nullptr);
  if (FAILED(hr)) {
    Fail(loopback ? "IAudioClient::Initialize (loopback) fallo"
                  : "IAudioClient::Initialize (mic) fallo",
         hr);
    Release();
    return false;
  }
  hr = client_->GetService(IID_PPV_ARGS(&capture_));
  if (FAILED(hr) || !capture_) {
    Fail("GetService(IAudioCaptureClient) fallo", hr);
    Release();
    return false;
  }
  log::Line(std::string(loopback ? "WASAPI: dispositivo de salida preparado ("
                                  : "WASAPI: microfono preparado (") +
            std::to_string(format_.rate) + "Hz, " + std::to_string(format_.channels) +
            " canales, " + FormatLabel(format_) + "); la captura se iniciara al abrir un juego.");
  return true;
}

}  // namespace halvex::wasapi
