#include "audio/device_opener.h"

#include <utility>

#include "core/log.h"

namespace halvex {

bool DeviceOpener::Open(std::string savedId, const settings::ProfileStore& store) {
  id_ = std::move(savedId);
  if (!device_.Open(id_)) {
    if (id_.empty()) return false;
    log::Line(role_.goneLine);
    id_.clear();
    role_.saveId("", store);
    if (!device_.Open(id_)) return false;
  }
  rate_ = device_.SampleRate();
  channels_ = device_.Channels();
  return true;
}

bool DeviceOpener::Start() {
  if (device_.Start()) return true;
  log::Line(role_.retryingLine);
  device_.Close();
  const bool started = device_.Open(id_) && device_.SampleRate() == rate_ &&
                       device_.Channels() == channels_ && device_.Start();
  if (!started) log::Line(role_.failedLine);
  return started;
}

}  // namespace halvex
