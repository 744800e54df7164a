#include "app/startup_lines.h"

#include "audio/audio_encoder.h"
#include "core/log.h"

namespace halvex {
namespace {

const char* YesNo(bool value) { return value ? "si" : "no"; }

}  // namespace

void LogCaptureOutput(const OutputInfo& output) {
  log::Line("Capturando video: " + output.name + " (" + std::to_string(output.Width()) + "x" +
            std::to_string(output.Height()) + ")");
}

bool InitializeWindowCapture(IWindowSource* source, const std::string& screenCapture) {
  const bool available = source != nullptr && source->Initialize();
  log::Line(available ? "[WGC] Ruta de captura de ventana disponible."
                      : "[WGC] No disponible; se usara " + screenCapture + " como fallback.");
  return available;
}

std::string RecordingLine(const RecordingLineInputs& in) {
  const bool lossless = in.quality.format == AudioFormat::Alac;
  const std::string bitrate =
      lossless ? std::string("sin bitrate") : std::to_string(in.quality.bitrateKbps) + "kbps";
  return "Grabando en buffer circular (" + std::to_string(in.durationSeconds) + "s" +
         ", audio juego: " + YesNo(in.audio.desktop) + ", microfono: " +
         YesNo(in.audio.microphone) + ", mezcla: " + YesNo(in.audio.mix) +
         ", canales editor: " + YesNo(in.quality.editorTracks) + ", salida: " +
         std::to_string(in.quality.sampleRate) + "Hz/" +
         AudioFormatDisplayName(in.quality.format) + " " + bitrate + "). " + in.saveShortcut +
         " = guardar clip, " + in.menuShortcut + " = menu. ESC cierra el menu activo.";
}

}  // namespace halvex
