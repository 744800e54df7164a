#pragma once
// The recorder's sound: desktop loopback, microphone and per-application captures, the five
// tracks that turn them into clip sound, and the mixes made from them. Portable: the captures
// come in through the audio seams.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/audio_mixer.h"
#include "audio/audio_pipeline_seam.h"
#include "audio/audio_sources.h"
#include "audio/audio_track.h"
#include "audio/device_opener.h"
#include "audio/mix_scheduler.h"

namespace halvex {

struct AudioPipelineParts {
  std::unique_ptr<ILoopbackCapture> loopback;      // required
  std::unique_ptr<IMicrophoneCapture> microphone;  // required
  IAudioSessions* sessions = nullptr;              // required, outlives the pipeline
  AudioProcessId ownPid = 0;                       // never an application source
  // The clock for chunks that arrive without a capture time.
  std::function<int64_t()> now;
};

// The platform's loopback and microphone captures for a pipeline, with `sessions` (the platform's
// audio sessions, which must outlive the pipeline) and this program's own process.
AudioPipelineParts PlatformAudioParts(IAudioSessions* sessions, AudioProcessId ownPid);

class AudioPipeline final : public IAudioPipeline {
 public:
  explicit AudioPipeline(AudioPipelineParts parts);
  ~AudioPipeline() override;

  void Open(const settings::ProfileStore& store, const settings::AudioQualitySettings& quality,
            const PlatformCapabilities& capabilities) override;
  AudioSummary Summary() const override;
  int PerProcessSources() const override;
  bool PerProcessCapturing() const override;

  void StartSession(AudioProcessId process, const std::string& processName,
                    int64_t startNs) override;
  void EndSession() override;
  void Pump(AudioHistories& histories) override;
  void RefreshSources() override;
  void Flush(AudioHistories& histories) override;

  AudioState State() const override;
  AudioStreamParams StreamParams(AudioSource source) const override;
  AudioCounters Counters() const override { return counters_; }

  // Slider level 0..1 of the microphone (the "__HALVEX_MICROPHONE__" level).
  void SetMicrophoneLevel(float level);
  float MicrophoneGain() const { return micGain_; }
  AudioMixer& Mixer() { return mixer_; }

 private:
  void OpenTracks();
  void StartCaptures();
  int64_t Now() const;

  AudioPipelineParts parts_;
  AudioMixer mixer_;
  DeviceOpener loopbackDevice_;
  DeviceOpener microphoneDevice_;
  const settings::ProfileStore* store_ = nullptr;
  settings::AudioQualitySettings quality_;
  // The per-process tracks (game-only, application mix) are made; without them the output's
  // loopback carries the main mix.
  bool gameOnlyTrack_ = true;

  bool loopbackOpen_ = false;
  bool microphoneOpen_ = false;
  bool desktopRunning_ = false;
  bool microphoneStarted_ = false;
  float micGain_ = 1.0f;

  AudioTrack desktop_, game_, microphone_, mix_, appMix_;
  MixScheduler mixes_{mixer_, {mix_, game_, appMix_}};

  AudioCounters counters_;
};

}  // namespace halvex
