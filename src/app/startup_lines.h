#pragma once
// Start-up lines every platform's entry point prints the same way.
#include <string>

#include "audio/audio_pipeline_seam.h"
#include "capture/capture_sources.h"
#include "settings/settings.h"

namespace halvex {

inline constexpr const char* kBannerLine =
    "=== Halvex - V2.1.13: audio sincronizado del juego y del microfono ===";

// "Capturando video: <monitor> (<w>x<h>)".
void LogCaptureOutput(const OutputInfo& output);

// Initialises window capture and says whether it can be used. Null counts as unavailable.
// `screenCapture` names what records instead.
bool InitializeWindowCapture(IWindowSource* source,
                             const std::string& screenCapture = "Desktop Duplication");

struct RecordingLineInputs {
  int32_t durationSeconds = 30;
  AudioSummary audio;
  settings::AudioQualitySettings quality;
  std::string saveShortcut;
  std::string menuShortcut;
};
// "Grabando en buffer circular (...)": the buffer length, the tracks that opened, the audio
// output and the two shortcuts.
std::string RecordingLine(const RecordingLineInputs& in);

}  // namespace halvex
