#include "audio/linux/pulse_device_capture.h"

#include "core/audio_timeline.h"
#include "core/clock.h"
#include "core/log.h"

namespace halvex::pulse {
namespace {

struct InfoQuery {
  bool found = false;
  std::string source;
  pa_sample_spec sampleFormat{};
  pa_channel_map map{};
  bool monitor = false;
  PulseConnection* connection = nullptr;
};

// Keeps the first device the query returns: `source` is the name to record from, `monitor` whether
// it is an output's monitor.
template <typename Info>
void TakeInfo(const Info* info, int eol, void* userdata, const char* source, bool monitor) {
  auto* out = static_cast<InfoQuery*>(userdata);
  if (info && !out->found) {
    out->found = true;
    out->source = source ? source : "";
    out->sampleFormat = info->sample_spec;
    out->map = info->channel_map;
    out->monitor = monitor;
  }
  if (eol) out->connection->Signal();
}

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  // Recording an output through its monitor is what the loopback is for: not flagged.
  TakeInfo(info, eol, userdata, info ? info->monitor_source_name : nullptr, false);
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  TakeInfo(info, eol, userdata, info ? info->name : nullptr,
           info && info->monitor_of_sink != PA_INVALID_INDEX);
}

}  // namespace

const char* PulseDeviceCapture::What() const {
  return kind_ == Kind::Loopback ? "audio de salida" : "microfono";
}

PulseDeviceCapture::Device PulseDeviceCapture::Find(const std::string& deviceId,
                                                    std::string& error) {
  Device device;
  if (!connection_.Connect("Halvex", error)) return device;
  connection_.SetOnFailure([this] { OnEnded(); });
  InfoQuery info;
  info.connection = &connection_;
  PulseLock lock(connection_.Loop());
  pa_operation* op =
      kind_ == Kind::Loopback
          ? pa_context_get_sink_info_by_name(connection_.Context(), SinkName(deviceId).c_str(),
                                             &OnSinkInfo, &info)
          : pa_context_get_source_info_by_name(connection_.Context(),
                                               SourceName(deviceId).c_str(), &OnSourceInfo, &info);
  connection_.Wait(op);
  if (!info.found || info.source.empty()) error = connection_.LastError();
  device.found = info.found && !info.source.empty();
  device.source = info.source;
  device.sampleFormat = info.sampleFormat;
  device.map = info.map;
  device.monitor = info.monitor;
  return device;
}

bool PulseDeviceCapture::Open(const std::string& deviceId) {
  Close();
  std::lock_guard life(lifeMutex_);
  std::string error;
  const Device device = Find(deviceId, error);
  if (!connection_.Connected()) {
    log::Line("PulseAudio: no se pudo conectar con el servidor de sonido (" + error + ")");
    return false;
  }
  if (device.found && device.monitor) {
    // Without a real input the server names an output's monitor as the default source; taking
    // it would record the game again as the "microphone". The device list never offers monitors.
    log::Line(deviceId.empty()
                  ? "PulseAudio: no hay microfono por defecto (la entrada por defecto es el "
                    "monitor de una salida)"
                  : "PulseAudio: " + deviceId + " es el monitor de una salida, no un microfono");
    connection_.Disconnect();
    return false;
  }
  if (!device.found) {
    log::Line(kind_ == Kind::Loopback
                  ? "PulseAudio: no se pudo abrir el dispositivo de salida solicitado (" + error +
                        ")"
                  : "PulseAudio: no hay microfono por defecto (" + error + ")");
    connection_.Disconnect();
    return false;
  }
  deviceId_ = deviceId;
  source_ = device.source;
  rate_ = static_cast<int>(device.sampleFormat.rate);
  channels_ = device.sampleFormat.channels;
  map_ = device.map;
  health_.Restored(NowNs());
  warned_ = false;
  opened_ = true;
  log::Line(std::string(kind_ == Kind::Loopback ? "PulseAudio: dispositivo de salida preparado ("
                                                : "PulseAudio: microfono preparado (") +
            std::to_string(rate_) + "Hz, " + std::to_string(channels_) +
            " canales, float32); la captura se iniciara al abrir un juego.");
  return true;
}

// The stream asks for the format the capture was opened with: the server converts whatever the
// device has become, so the encoders behind it go on unchanged after a reconnection.
bool PulseDeviceCapture::ConnectStream(std::string& error) {
  stream_ = std::make_unique<PulseRecordStream>(connection_);
  const bool ok = stream_->Connect(
                      source_, rate_, channels_, &map_, PA_INVALID_INDEX,
                      [this](const float* s, size_t frames, int64_t t) { OnData(s, frames, t); },
                      [this] { OnEnded(); }, error) &&
                  stream_->WaitReady(error);
  if (!ok) stream_->Disconnect();
  return ok;
}

void PulseDeviceCapture::DropStream() {
  if (stream_) {
    PulseLock lock(connection_.Loop());
    stream_->Disconnect();
  }
  stream_.reset();
}

bool PulseDeviceCapture::Start() {
  if (started_) return true;
  std::lock_guard life(lifeMutex_);
  if (!opened_ || !connection_.Connected() || health_.IsLost()) return false;
  queue_.Clear();
  {
    std::lock_guard chunks(chunksMutex_);
    chunks_.clear();
    queuedSamples_ = 0;
  }
  std::string error;
  bool ok = false;
  {
    PulseLock lock(connection_.Loop());
    ok = ConnectStream(error);
  }
  if (!ok) {
    stream_.reset();
    log::Line(std::string("PulseAudio: no se pudo iniciar la captura de ") + What() + " (" +
              error + ")");
    return false;
  }
  started_ = true;
  log::Line(kind_ == Kind::Loopback ? "PulseAudio: captura de audio de salida iniciada."
                                    : "PulseAudio: captura de microfono iniciada.");
  return true;
}

bool PulseDeviceCapture::Reopen(int attempt) {
  std::lock_guard life(lifeMutex_);
  if (!started_) return true;  // stopped meanwhile: nothing to bring back
  DropStream();
  connection_.Disconnect();
  std::string error;
  Device device = Find(deviceId_, error);
  bool ok = device.found && !device.monitor;
  if (ok) {
    source_ = device.source;
    if (device.map.channels == channels_) map_ = device.map;
    PulseLock lock(connection_.Loop());
    ok = ConnectStream(error);
  }
  if (!ok) {
    DropStream();
    connection_.Disconnect();
    if (attempt == 1) {
      log::Line(kind_ == Kind::Loopback
                    ? "[AUDIO] AVISO: no se pudo iniciar el loopback; reabriendo el endpoint para "
                      "reintentar..."
                    : "[AUDIO] AVISO: no se pudo iniciar el microfono; reabriendo el dispositivo "
                      "para reintentar...");
    }
    return false;
  }
  health_.Restored(NowNs());
  warned_ = false;
  log::Line(std::string("[AUDIO] La captura de ") + What() + " volvio tras " +
            std::to_string(attempt) + (attempt == 1 ? " intento." : " intentos."));
  return true;
}

void PulseDeviceCapture::Stop() {
  reconnector_.Stop();
  std::lock_guard life(lifeMutex_);
  DropStream();
  started_ = false;
  queue_.Clear();
  std::lock_guard chunks(chunksMutex_);
  chunks_.clear();
  queuedSamples_ = 0;
}

void PulseDeviceCapture::Close() {
  Stop();
  std::lock_guard life(lifeMutex_);
  connection_.Disconnect();
  opened_ = false;
  rate_ = channels_ = 0;
  source_.clear();
}

bool PulseDeviceCapture::Ended() const { return !health_.Running(NowNs()); }

void PulseDeviceCapture::OnData(const float* samples, size_t frames, int64_t captureNs) {
  health_.Delivered(NowNs());
  const size_t count = frames * static_cast<size_t>(channels_);
  if (kind_ == Kind::Microphone) {
    queue_.Append(samples, count, captureNs + FramesToNs(static_cast<int64_t>(frames), rate_));
    return;
  }
  std::lock_guard lock(chunksMutex_);
  chunks_.push_back({std::vector<float>(samples, samples + count), captureNs});
  queuedSamples_ += count;
  const size_t bound = static_cast<size_t>(rate_) * channels_ * 2;
  while (queuedSamples_ > bound && chunks_.size() > 1) {
    queuedSamples_ -= chunks_.front().samples.size();
    chunks_.pop_front();
  }
}

// Event thread, lock held: only marks the loss and wakes the reconnector.
void PulseDeviceCapture::OnEnded() {
  health_.Lost(NowNs());
  if (!warned_.exchange(true)) {
    log::Line(std::string("[AUDIO] AVISO: la captura de ") + What() +
              " se interrumpio (dispositivo o servidor de sonido desaparecido); el video sigue "
              "grabando sin esa pista.");
  }
  if (started_) reconnector_.Lost();
}

bool PulseDeviceCapture::ReadChunks(std::vector<AudioChunk>& chunks) {
  std::lock_guard lock(chunksMutex_);
  if (chunks_.empty()) return false;
  for (AudioChunk& chunk : chunks_) chunks.push_back(std::move(chunk));
  chunks_.clear();
  queuedSamples_ = 0;
  return true;
}

bool PulseDeviceCapture::ReadQueue(AudioChunk& chunk) {
  return queue_.TakeChunk(rate_, channels_, chunk);
}

}  // namespace halvex::pulse
