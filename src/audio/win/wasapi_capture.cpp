#include "audio/win/wasapi_capture.h"

#include "core/audio_timeline.h"
#include "core/clock.h"
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

namespace {

bool SameLayout(const MixFormat& a, const MixFormat& b) {
  return a.rate == b.rate && a.channels == b.channels;
}

void ReportReturn(const char* what, int attempt) {
  log::Line(std::string("[AUDIO] La captura de ") + what + " volvio tras " +
            std::to_string(attempt) + (attempt == 1 ? " intento." : " intentos."));
}

}  // namespace

// ---- loopback ----

bool WasapiLoopbackCapture::Open(const std::string& deviceId) {
  health_.Restored(NowNs());
  deviceId_ = deviceId;
  const bool ok = endpoint_.Open(deviceId);
  format_ = ok ? endpoint_.Format() : MixFormat{};
  return ok;
}

bool WasapiLoopbackCapture::Start() {
  if (!endpoint_.IsOpen() || health_.IsLost()) return false;
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

bool WasapiLoopbackCapture::Ended() const { return !health_.Running(NowNs()); }

void WasapiLoopbackCapture::TryReopen() {
  const int64_t now = NowNs();
  if (now < nextAttemptNs_) return;
  const int attempt = backoff_.Attempts();
  // The endpoint may come back in another format; the encoders behind it were made for this one.
  const bool ok = endpoint_.Open(deviceId_) && SameLayout(endpoint_.Format(), format_) &&
                  SUCCEEDED(endpoint_.Client()->Start());
  if (!ok) {
    endpoint_.Close();
    if (attempt == 1) {
      log::Line(
          "[AUDIO] AVISO: no se pudo iniciar el loopback; reabriendo el endpoint para "
          "reintentar...");
    }
    nextAttemptNs_ = now + backoff_.NextDelayNs();
    return;
  }
  endpoint_.started = true;
  health_.Restored(now);
  backoff_.Reset();
  ReportReturn("audio de salida", attempt);
}

bool WasapiLoopbackCapture::Read(std::vector<AudioChunk>& chunks) {
  if (health_.IsLost()) {
    TryReopen();
    if (health_.IsLost()) return false;
  }
  if (!endpoint_.started) return false;
  std::vector<float> buffer;
  bool readAny = false;
  HRESULT failure = S_OK;
  const bool alive = DrainPackets(endpoint_.Capture(), endpoint_.Format(), buffer, readAny, failure,
                                  nullptr, [&](std::vector<float>& s, UINT32, int64_t t) {
                                    chunks.push_back({std::move(s), t});
                                  });
  const int64_t now = NowNs();
  if (readAny) health_.Delivered(now);
  if (!alive && health_.Lost(now)) {
    ReportEnded("audio de salida", failure);
    backoff_.Reset();
    nextAttemptNs_ = now + backoff_.NextDelayNs();
  }
  return readAny;
}

// ---- microphone ----

bool WasapiMicrophoneCapture::Open(const std::string& deviceId) {
  Stop();
  health_.Restored(NowNs());
  deviceId_ = deviceId;
  const bool ok = endpoint_.Open(deviceId);
  format_ = ok ? endpoint_.Format() : MixFormat{};
  CloseEvent();  // it belonged to the released client
  return ok;
}

void WasapiMicrophoneCapture::CloseEvent() {
  if (event_) CloseHandle(event_);
  event_ = nullptr;
  eventSet_ = false;
}

bool WasapiMicrophoneCapture::Ended() const { return !health_.Running(NowNs()); }

// Event and client start, shared by Start and a reconnection.
bool WasapiMicrophoneCapture::StartClient() {
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
  hr = endpoint_.Client()->Start();
  if (FAILED(hr)) {
    log::Line("WASAPI: IAudioClient::Start (mic) fallo (hr=0x" + HrHex(hr) + ")");
    return false;
  }
  endpoint_.started = true;
  return true;
}

bool WasapiMicrophoneCapture::Start() {
  if (running_) return true;
  if (!endpoint_.IsOpen() || health_.IsLost()) return false;
  if (thread_.joinable()) thread_.join();  // a thread that ended on its own
  queue_.Clear();
  stop_ = false;
  running_ = true;
  if (!StartClient()) {
    running_ = false;
    stop_ = true;
    return false;
  }
  log::Line("WASAPI: captura de microfono iniciada.");
  thread_ = std::thread([this] { Run(); });
  return true;
}

bool WasapiMicrophoneCapture::Reconnect() {
  ReconnectBackoff backoff;
  for (;;) {
    // Waits in short steps so that Stop is never held up for long.
    const int64_t until = NowNs() + backoff.NextDelayNs();
    while (!stop_ && NowNs() < until) Sleep(kWaitMs);
    if (stop_) return false;
    const int attempt = backoff.Attempts();
    eventSet_ = false;  // the same event goes to the new client
    if (endpoint_.Open(deviceId_) && SameLayout(endpoint_.Format(), format_) && StartClient()) {
      health_.Restored(NowNs());
      ReportReturn("microfono", attempt);
      return true;
    }
    endpoint_.Close();
    if (attempt == 1) {
      log::Line(
          "[AUDIO] AVISO: no se pudo iniciar el microfono; reabriendo el dispositivo para "
          "reintentar...");
    }
  }
}

void WasapiMicrophoneCapture::Run() {
  ComApartment com;
  std::vector<float> buffer;
  while (!stop_) {
    const DWORD wait = WaitForSingleObject(event_, kWaitMs);
    if (wait == WAIT_FAILED) break;
    const MixFormat format = endpoint_.Format();
    bool readAny = false;
    HRESULT failure = S_OK;
    const bool alive =
        DrainPackets(endpoint_.Capture(), format, buffer, readAny, failure, &stop_,
                     [&](std::vector<float>& s, UINT32 frames, int64_t t) {
                       queue_.Append(s.data(), s.size(), t + FramesToNs(frames, format.rate));
                     });
    if (readAny) health_.Delivered(NowNs());
    if (!alive) {
      health_.Lost(NowNs());
      ReportEnded("microfono", failure);
      if (!Reconnect()) break;
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
