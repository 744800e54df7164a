#pragma once
// What the capture loop asks of its sound: loopback, microphone and per-application captures,
// their encoders and the mixer, behind one interface so the loop runs with or without them.
#include <cstdint>
#include <string>

#include "audio/audio_encoder_stream.h"
#include "audio/audio_histories.h"
#include "audio/audio_sources.h"
#include "audio/track_choice.h"
#include "core/platform_capabilities.h"
#include "settings/audio_settings.h"
#include "settings/profile_store.h"

namespace halvex {

// Packets encoded since start, for the closing summary.
struct AudioCounters {
  uint64_t desktop = 0;
  uint64_t microphone = 0;
  uint64_t mix = 0;
};

// What is open after start-up, for the "Grabando en buffer circular" line.
struct AudioSummary {
  bool desktop = false;
  bool microphone = false;
  bool mix = false;
};

class IAudioPipeline {
 public:
  virtual ~IAudioPipeline() = default;
  // Start-up: open the captures on the saved devices and their encoders, the tracks the
  // platform `capabilities` allow; every failure only removes a track (and is logged).
  virtual void Open(const settings::ProfileStore& store,
                    const settings::AudioQualitySettings& quality,
                    const PlatformCapabilities& capabilities) = 0;
  virtual AudioSummary Summary() const = 0;
  virtual int PerProcessSources() const = 0;
  virtual bool PerProcessCapturing() const = 0;

  // Session start: apply pending settings, follow the game's process (minus the excluded
  // programs), start loopback and microphone (with their retries), reset encoders and timelines
  // with `startNs` as the origin. Session end: undo all of it.
  virtual void StartSession(AudioProcessId process, const std::string& processName,
                            int64_t startNs) = 0;
  virtual void EndSession() = 0;

  // One pass: read, mix, encode and append to the histories.
  virtual void Pump(AudioHistories& histories) = 0;
  // Looks for new or vanished per-application sources.
  virtual void RefreshSources() = 0;
  // Shutdown: close the captures and flush every encoder into the histories.
  virtual void Flush(AudioHistories& histories) = 0;

  // What a save request needs.
  virtual AudioState State() const = 0;
  virtual AudioStreamParams StreamParams(AudioSource source) const = 0;
  virtual AudioCounters Counters() const = 0;
};

}  // namespace halvex
