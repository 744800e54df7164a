#include "audio/linux/pulse_device_capture.h"

#include "core/audio_timeline.h"
#include "core/log.h"

namespace halvex::pulse {
namespace {

struct DeviceInfo {
  bool found = false;
  std::string source;  // what to record: the sink's monitor, or the source itself
  pa_sample_spec sampleFormat{};
  pa_channel_map map{};
  bool monitor = false;  // a source that only repeats an output
  PulseConnection* connection = nullptr;
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* out = static_cast<DeviceInfo*>(userdata);
  if (info && !out->found) {
    out->found = true;
    out->source = info->monitor_source_name ? info->monitor_source_name : "";
    out->sampleFormat = info->sample_spec;
    out->map = info->channel_map;
  }
  if (eol) out->connection->Signal();
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* out = static_cast<DeviceInfo*>(userdata);
  if (info && !out->found) {
    out->found = true;
    out->source = info->name ? info->name : "";
    out->sampleFormat = info->sample_spec;
    out->map = info->channel_map;
    out->monitor = info->monitor_of_sink != PA_INVALID_INDEX;
  }
  if (eol) out->connection->Signal();
}

}  // namespace

const char* PulseDeviceCapture::What() const {
  return kind_ == Kind::Loopback ? "audio de salida" : "microfono";
}

bool PulseDeviceCapture::Open(const std::string& deviceId) {
  Close();
  std::string error;
  if (!connection_.Connect("Halvex", error)) {
    log::Line("PulseAudio: no se pudo conectar con el servidor de sonido (" + error + ")");
    return false;
  }
  connection_.SetOnFailure([this] { OnEnded(); });
  DeviceInfo info;
  info.connection = &connection_;
  {
    PulseLock lock(connection_.Loop());
    pa_operation* op =
        kind_ == Kind::Loopback
            ? pa_context_get_sink_info_by_name(connection_.Context(),
                                               SinkName(deviceId).c_str(), &OnSinkInfo, &info)
            : pa_context_get_source_info_by_name(
                  connection_.Context(), SourceName(deviceId).c_str(), &OnSourceInfo, &info);
    connection_.Wait(op);
    if (!info.found || info.source.empty()) error = connection_.LastError();
  }
  if (info.found && info.monitor) {
    // Without a real input the server names an output's monitor as the default source; taking
    // it would record the game again as the "microphone". The device list never offers monitors.
    log::Line(deviceId.empty()
                  ? "PulseAudio: no hay microfono por defecto (la entrada por defecto es el "
                    "monitor de una salida)"
                  : "PulseAudio: " + deviceId + " es el monitor de una salida, no un microfono");
    Close();
    return false;
  }
  if (!info.found || info.source.empty()) {
    log::Line(kind_ == Kind::Loopback
                  ? "PulseAudio: no se pudo abrir el dispositivo de salida solicitado (" + error +
                        ")"
                  : "PulseAudio: no hay microfono por defecto (" + error + ")");
    Close();
    return false;
  }
  source_ = info.source;
  rate_ = static_cast<int>(info.sampleFormat.rate);
  channels_ = info.sampleFormat.channels;
  map_ = info.map;
  ended_ = false;
  warned_ = false;
  log::Line(std::string(kind_ == Kind::Loopback ? "PulseAudio: dispositivo de salida preparado ("
                                                : "PulseAudio: microfono preparado (") +
            std::to_string(rate_) + "Hz, " + std::to_string(channels_) +
            " canales, float32); la captura se iniciara al abrir un juego.");
  return true;
}

bool PulseDeviceCapture::Start() {
  if (started_) return true;
  if (!connection_.Connected() || ended_) return false;
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
    stream_ = std::make_unique<PulseRecordStream>(connection_);
    ok = stream_->Connect(
             source_, rate_, channels_, &map_, PA_INVALID_INDEX,
             [this](const float* s, size_t frames, int64_t t) { OnData(s, frames, t); },
             [this] { OnEnded(); }, error) &&
         stream_->WaitReady(error);
    if (!ok) stream_->Disconnect();
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

void PulseDeviceCapture::Stop() {
  if (stream_) {
    PulseLock lock(connection_.Loop());
    stream_->Disconnect();
  }
  stream_.reset();
  started_ = false;
  queue_.Clear();
  std::lock_guard chunks(chunksMutex_);
  chunks_.clear();
  queuedSamples_ = 0;
}

void PulseDeviceCapture::Close() {
  Stop();
  connection_.Disconnect();
  rate_ = channels_ = 0;
  source_.clear();
}

void PulseDeviceCapture::OnData(const float* samples, size_t frames, int64_t captureNs) {
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

void PulseDeviceCapture::OnEnded() {
  ended_ = true;
  if (!warned_.exchange(true)) {
    log::Line(std::string("[AUDIO] AVISO: la captura de ") + What() +
              " se interrumpio (dispositivo o servidor de sonido desaparecido); el video sigue "
              "grabando sin esa pista.");
  }
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
