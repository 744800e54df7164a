#include "app/recorder_run.h"

#include <utility>

#include "core/log.h"

namespace halvex {

int RunRecorder(RecorderParts parts) {
  Recorder recorder(std::move(parts));
  if (!recorder.Start()) return 1;
  recorder.Run();
  recorder.Shutdown();
  return 0;
}

void LogWakeRequest() {
  log::Line("[CLIPS] Otra ejecucion de Halvex pidio mostrar esta instancia; sigue grabando.");
}

}  // namespace halvex
