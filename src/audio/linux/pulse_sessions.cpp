#include "audio/linux/pulse_sessions.h"

#include <charconv>
#include <cstring>
#include <fstream>
#include <vector>

#include "core/log.h"
#include "settings/executable_name.h"

namespace halvex::pulse {
namespace {

struct SinkLookup {
  PulseConnection* connection = nullptr;
  uint32_t index = PA_INVALID_INDEX;
  std::string monitor;
};

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* out = static_cast<SinkLookup*>(userdata);
  if (info && out->index == PA_INVALID_INDEX) {
    out->index = info->index;
    out->monitor = info->monitor_source_name ? info->monitor_source_name : "";
  }
  if (eol) out->connection->Signal();
}

// Lock held.
SinkLookup FindSink(PulseConnection& connection, const std::string& deviceId) {
  SinkLookup sink;
  sink.connection = &connection;
  connection.Wait(pa_context_get_sink_info_by_name(connection.Context(),
                                                   SinkName(deviceId).c_str(), &OnSink, &sink));
  return sink;
}

std::string Property(const pa_proplist* props, const char* key) {
  const char* value = props ? pa_proplist_gets(props, key) : nullptr;
  return value ? value : "";
}

struct InputList {
  PulseConnection* connection = nullptr;
  uint32_t sink = PA_INVALID_INDEX;
  std::vector<AudioSessionInfo>* sessions = nullptr;
  std::vector<std::pair<uint32_t, uint8_t>> matching;  // sink input, channels (volume setting)
  AudioProcessId wanted = 0;
};

void OnInputForList(pa_context*, const pa_sink_input_info* info, int eol, void* userdata) {
  auto* list = static_cast<InputList*>(userdata);
  if (info && info->sink == list->sink) {
    const AudioProcessId pid = SinkInputProcess(*info);
    if (list->sessions) {
      list->sessions->push_back(
          {pid,
           settings::ProgramFileName(Property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY)),
           Property(info->proplist, PA_PROP_APPLICATION_NAME)});
    }
    if (list->wanted != 0 && pid == list->wanted) {
      list->matching.emplace_back(info->index, info->volume.channels);
    }
  }
  if (eol) list->connection->Signal();
}

}  // namespace

AudioProcessId SinkInputProcess(const pa_sink_input_info& info) {
  const std::string text = Property(info.proplist, PA_PROP_APPLICATION_PROCESS_ID);
  AudioProcessId pid = 0;
  std::from_chars(text.data(), text.data() + text.size(), pid);
  return pid;
}

bool DescendsFrom(AudioProcessId pid, AudioProcessId root) {
  for (int depth = 0; depth < 64 && pid > 1; ++depth) {
    if (pid == root) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    // "pid (comm) state ppid ...": the name may hold spaces and parentheses.
    const size_t close = line.rfind(')');
    if (close == std::string::npos || close + 4 >= line.size()) return false;
    const char* p = line.c_str() + close + 4;
    AudioProcessId parent = 0;
    std::from_chars(p, line.c_str() + line.size(), parent);
    pid = parent;
  }
  return pid == root;
}

// ---- one program's capture ----

PulseProcessCapture::PulseProcessCapture(const std::string& deviceId, ProcessCaptureTarget target)
    : target_(std::move(target)),
      deviceId_(deviceId),
      summer_(kProcessCaptureRate / 20 * kProcessCaptureChannels,  // 50 ms
              kProcessCaptureRate * kProcessCaptureChannels,
              [this](const float* s, size_t n, int64_t endNs) { queue_.Append(s, n, endNs); }) {
  std::lock_guard life(lifeMutex_);
  running_ = Attach(true);
}

bool PulseProcessCapture::Attach(bool report) {
  std::string error;
  if (!connection_.Connect("Halvex (aplicacion)", error)) {
    if (report) {
      log::Line("[AUDIO] AVISO: captura por aplicacion (PID " + std::to_string(target_.pid) +
                ") sin servidor de sonido (" + error + ")");
    }
    return false;
  }
  connection_.SetOnFailure([this] { OnFailure(); });
  PulseLock lock(connection_.Loop());
  const SinkLookup sink = FindSink(connection_, deviceId_);
  if (sink.index == PA_INVALID_INDEX || sink.monitor.empty()) {
    if (report) {
      log::Line("[AUDIO] AVISO: captura por aplicacion (PID " + std::to_string(target_.pid) +
                "): no se encontro el dispositivo de salida (" + connection_.LastError() + ")");
    }
    return false;
  }
  sinkIndex_ = sink.index;
  monitor_ = sink.monitor;
  pa_context_set_subscribe_callback(connection_.Context(), &PulseProcessCapture::OnEvent, this);
  if (!connection_.Wait(pa_context_subscribe(connection_.Context(), PA_SUBSCRIPTION_MASK_SINK_INPUT,
                                             nullptr, nullptr))) {
    return false;
  }
  // Streams that are already playing; later ones arrive as events.
  pa_operation* op = pa_context_get_sink_input_info_list(
      connection_.Context(), &PulseProcessCapture::OnSinkInputInfo, this);
  if (op) pa_operation_unref(op);
  return true;
}

void PulseProcessCapture::Detach() {
  if (connection_.Connected()) {
    PulseLock lock(connection_.Loop());
    pa_context_set_subscribe_callback(connection_.Context(), nullptr, nullptr);
    for (const auto& entry : streams_) summer_.Remove(entry.first);
    streams_.clear();
  }
  connection_.Disconnect();
}

bool PulseProcessCapture::Reopen(int attempt) {
  std::lock_guard life(lifeMutex_);
  Detach();
  if (!Attach(false)) {
    Detach();
    return false;
  }
  running_ = true;
  warned_ = false;
  log::Line("[AUDIO] La captura por aplicacion (PID " + std::to_string(target_.pid) +
            ") volvio tras " + std::to_string(attempt) + (attempt == 1 ? " intento." : " intentos."));
  return true;
}

PulseProcessCapture::~PulseProcessCapture() {
  reconnector_.Stop();
  std::lock_guard life(lifeMutex_);
  Detach();
}

size_t PulseProcessCapture::StreamCount() {
  std::lock_guard life(lifeMutex_);
  PulseLock lock(connection_.Loop());
  return streams_.size();
}

bool PulseProcessCapture::Matches(AudioProcessId pid) const {
  if (pid == 0) return false;
  if (pid == target_.pid) return true;
  if (!target_.includeTree) return false;
  return target_.inTree ? target_.inTree(pid) : DescendsFrom(pid, target_.pid);
}

// Event thread, lock held: the streams die with the connection; the reconnector replaces both.
void PulseProcessCapture::OnFailure() {
  running_ = false;
  if (!warned_.exchange(true)) {
    log::Line("[AUDIO] AVISO: la captura por aplicacion (PID " + std::to_string(target_.pid) +
              ") se interrumpio: servidor de sonido no disponible.");
  }
  reconnector_.Lost();
}

void PulseProcessCapture::OnEvent(pa_context* c, pa_subscription_event_type_t type,
                                  uint32_t index, void* userdata) {
  auto* self = static_cast<PulseProcessCapture*>(userdata);
  const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
  if (kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
    self->Drop(index);
    return;
  }
  // New stream, or one that moved or changed its properties.
  pa_operation* op =
      pa_context_get_sink_input_info(c, index, &PulseProcessCapture::OnSinkInputInfo, self);
  if (op) pa_operation_unref(op);
}

void PulseProcessCapture::OnSinkInputInfo(pa_context*, const pa_sink_input_info* info, int,
                                          void* userdata) {
  if (info) static_cast<PulseProcessCapture*>(userdata)->Consider(*info);
}

void PulseProcessCapture::Consider(const pa_sink_input_info& info) {
  // Drop streams whose sink input ended; their monitor stream died with it.
  for (auto it = streams_.begin(); it != streams_.end();) {
    if (it->second->Ended()) {
      summer_.Remove(it->first);
      it = streams_.erase(it);
    } else {
      ++it;
    }
  }
  const bool wanted = info.sink == sinkIndex_ && Matches(SinkInputProcess(info));
  const bool have = streams_.count(info.index) != 0;
  if (!wanted) {
    if (have) Drop(info.index);
    return;
  }
  if (have) return;
  auto stream = std::make_unique<PulseRecordStream>(connection_);
  const int64_t id = info.index;
  std::string error;
  if (!stream->Connect(
          monitor_, kProcessCaptureRate, kProcessCaptureChannels, nullptr, info.index,
          [this, id](const float* s, size_t frames, int64_t captureNs) {
            summer_.Add(id, s, frames * kProcessCaptureChannels, captureNs);
          },
          {}, error)) {
    log::Line("[AUDIO] AVISO: no se pudo grabar el flujo " + std::to_string(info.index) +
              " del PID " + std::to_string(target_.pid) + " (" + error + ")");
    return;
  }
  streams_.emplace(info.index, std::move(stream));
}

void PulseProcessCapture::Drop(uint32_t sinkInput) {
  auto it = streams_.find(sinkInput);
  if (it == streams_.end()) return;
  summer_.Remove(sinkInput);
  streams_.erase(it);
}

// ---- the session list ----

bool PulseAudioSessions::EnsureConnected() {
  if (connection_.Connected()) {
    PulseLock lock(connection_.Loop());
    if (connection_.Alive()) return true;
  }
  std::string error;
  if (connection_.Connect("Halvex (sesiones)", error)) {
    warnedOffline_ = false;
    return true;
  }
  if (!warnedOffline_) {
    warnedOffline_ = true;
    log::Line("[AUDIO] AVISO: no se pudo leer la lista de aplicaciones con audio (" + error + ")");
  }
  return false;
}

bool PulseAudioSessions::List(const std::string& deviceId,
                              std::vector<AudioSessionInfo>& sessions) {
  sessions.clear();
  if (!EnsureConnected()) return false;
  PulseLock lock(connection_.Loop());
  const SinkLookup sink = FindSink(connection_, deviceId);
  if (sink.index == PA_INVALID_INDEX) return false;
  InputList list;
  list.connection = &connection_;
  list.sink = sink.index;
  list.sessions = &sessions;
  return connection_.Wait(
      pa_context_get_sink_input_info_list(connection_.Context(), &OnInputForList, &list));
}

std::unique_ptr<IProcessCapture> PulseAudioSessions::StartCapture(
    const std::string& deviceId, const ProcessCaptureTarget& target) {
  return std::make_unique<PulseProcessCapture>(deviceId, target);
}

void PulseAudioSessions::SetSessionVolume(const std::string& deviceId, AudioProcessId pid,
                                          float volume) {
  if (pid == 0 || !EnsureConnected()) return;
  PulseLock lock(connection_.Loop());
  const SinkLookup sink = FindSink(connection_, deviceId);
  if (sink.index == PA_INVALID_INDEX) return;
  InputList list;
  list.connection = &connection_;
  list.sink = sink.index;
  list.wanted = pid;
  if (!connection_.Wait(
          pa_context_get_sink_input_info_list(connection_.Context(), &OnInputForList, &list))) {
    return;
  }
  for (const auto& [index, channels] : list.matching) {
    pa_cvolume level;
    pa_cvolume_set(&level, channels ? channels : 2, pa_sw_volume_from_linear(volume));
    connection_.Wait(
        pa_context_set_sink_input_volume(connection_.Context(), index, &level, nullptr, nullptr));
  }
}

}  // namespace halvex::pulse
