#include "audio/win/wasapi_capture.h"

#include "core/audio_timeline.h"
#include "core/log.h"
#include "core/win/com_apartment.h"
#include "core/win/hresult_text.h"

namespace halvex::wasapi {
namespace {

constexpr DWORD kWaitMs = 50;

}  // namespace

void ReportEnded(const char* what, HRESULT hr) {
  log::Line(std::string("[AUDIO] AVISO: la captura de ") + what +
            " se interrumpio (dispositivo o servidor de sonido desaparecido, hr=0x" + HrHex(hr) +
            "); el video sigue grabando sin esa pista.");
}

// ---- loopback ----

bool WasapiLoopbackCapture::Open(const std::string& deviceId) {
  ended_ = false;
  return endpoint_.Open(deviceId);
}

bool WasapiLoopbackCapture::Start() {
  if (!endpoint_.IsOpen() || ended_) return false;
  if (endpoint_.started) return true;
  const HRESULT hr = endpoint_.Client()->Start();
  if (FAILED(hr)) {
    log::Line("WASAPI: IAudioClient::Start fallo (hr=0x" + HrHex(hr) + ")");
    return false;
  }
  endpoint_.started = true;
  log::Line("WASAPI: captura de audio de salida iniciada.");
  return true;
}

void WasapiLoopbackCapture::Stop() {
  if (endpoint_.started && endpoint_.Client()) endpoint_.Client()->Stop();
  endpoint_.started = false;
}

void WasapiLoopbackCapture::Close() {
  Stop();
  endpoint_.Close();
}

bool WasapiLoopbackCapture::Read(std::vector<AudioChunk>& chunks) {
  if (!endpoint_.started || ended_) return false;
  std::vector<float> buffer;
  bool readAny = false;
  HRESULT failure = S_OK;
  const bool alive = DrainPackets(endpoint_.Capture(), endpoint_.Format(), buffer, readAny, failure,
                                  nullptr, [&](std::vector<float>& s, UINT32, int64_t t) {
                                    chunks.push_back({std::move(s), t});
                                  });
  if (!alive) {
    ended_ = true;
    ReportEnded("audio de salida", failure);
  }
  return readAny;
}

// ---- microphone ----

bool WasapiMicrophoneCapture::Open(const std::string& deviceId) {
  Stop();
  ended_ = false;
  const bool ok = endpoint_.Open(deviceId);
  CloseEvent();  // it belonged to the released client
  return ok;
}

void WasapiMicrophoneCapture::CloseEvent() {
  if (event_) CloseHandle(event_);
  event_ = nullptr;
  eventSet_ = false;
}

bool WasapiMicrophoneCapture::Start() {
  if (running_) return true;
  if (!endpoint_.IsOpen() || ended_) return false;
  if (thread_.joinable()) thread_.join();  // a thread that ended on its own
  // One event per client: a client may refuse a second SetEventHandle (Wine does), so a
  // stopped microphone keeps its event to start again.
  if (!event_) {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!event_) {
      log::Line("WASAPI: no se pudo crear el evento del microfono");
      return false;
    }
  }
  HRESULT hr = S_OK;
  if (!eventSet_) {
    hr = endpoint_.Client()->SetEventHandle(event_);
    if (FAILED(hr)) {
      log::Line("WASAPI: SetEventHandle (mic) fallo (hr=0x" + HrHex(hr) + ")");
      CloseEvent();
      return false;
    }
    eventSet_ = true;
  }
  ResetEvent(event_);
  queue_.Clear();
  stop_ = false;
  running_ = true;
  hr = endpoint_.Client()->Start();
  if (FAILED(hr)) {
    running_ = false;
    stop_ = true;
    log::Line("WASAPI: IAudioClient::Start (mic) fallo (hr=0x" + HrHex(hr) + ")");
    return false;
  }
  endpoint_.started = true;
  log::Line("WASAPI: captura de microfono iniciada.");
  thread_ = std::thread([this] { Run(); });
  return true;
}

void WasapiMicrophoneCapture::Run() {
  ComApartment com;
  const MixFormat format = endpoint_.Format();
  IAudioCaptureClient* capture = endpoint_.Capture();
  std::vector<float> buffer;
  while (!stop_) {
    const DWORD wait = WaitForSingleObject(event_, kWaitMs);
    if (wait == WAIT_FAILED) break;
    bool readAny = false;
    HRESULT failure = S_OK;
    const bool alive =
        DrainPackets(capture, format, buffer, readAny, failure, &stop_,
                     [&](std::vector<float>& s, UINT32 frames, int64_t t) {
                       queue_.Append(s.data(), s.size(), t + FramesToNs(frames, format.rate));
                     });
    if (!alive) {
      ended_ = true;
      ReportEnded("microfono", failure);
      break;
    }
  }
  running_ = false;
}

void WasapiMicrophoneCapture::Stop() {
  stop_ = true;
  if (event_) SetEvent(event_);
  if (thread_.joinable()) thread_.join();
  if (endpoint_.started && endpoint_.Client()) endpoint_.Client()->Stop();
  running_ = false;
  endpoint_.started = false;
  queue_.Clear();
}

void WasapiMicrophoneCapture::Close() {
  Stop();
  endpoint_.Close();
  CloseEvent();
}

bool WasapiMicrophoneCapture::Read(AudioChunk& chunk) {
  return queue_.TakeChunk(SampleRate(), Channels(), chunk);
}

}  // namespace halvex::wasapi
