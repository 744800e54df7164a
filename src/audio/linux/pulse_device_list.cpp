#include "audio/linux/pulse_device_list.h"

#include "audio/linux/pulse_connection.h"
#include "core/log.h"

namespace halvex::pulse {
namespace {

struct Collect {
  PulseConnection* connection = nullptr;
  std::vector<AudioDevice>* devices = nullptr;
};

std::string NameOr(const char* description, const char* fallback) {
  return description && *description ? description : fallback;
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  auto* c = static_cast<Collect*>(userdata);
  if (info) c->devices->push_back({info->name, NameOr(info->description, kDefaultOutputName)});
  if (eol) c->connection->Signal();
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  auto* c = static_cast<Collect*>(userdata);
  // Monitors are outputs seen from the other side, not microphones.
  if (info && info->monitor_of_sink == PA_INVALID_INDEX) {
    c->devices->push_back({info->name, NameOr(info->description, kDefaultInputName)});
  }
  if (eol) c->connection->Signal();
}

std::vector<AudioDevice> List(bool outputs) {
  std::vector<AudioDevice> devices;
  PulseConnection connection;
  std::string error;
  if (!connection.Connect("Halvex (dispositivos)", error)) {
    log::Line("PulseAudio: no se pudo conectar con el servidor de sonido (" + error + ")");
    return devices;
  }
  PulseLock lock(connection.Loop());
  Collect collect{&connection, &devices};
  connection.Wait(outputs ? pa_context_get_sink_info_list(connection.Context(), &OnSink, &collect)
                          : pa_context_get_source_info_list(connection.Context(), &OnSource,
                                                            &collect));
  return devices;
}

}  // namespace

std::vector<AudioDevice> PulseDeviceList::Outputs() { return List(true); }
std::vector<AudioDevice> PulseDeviceList::Inputs() { return List(false); }

}  // namespace halvex::pulse
