#pragma once
// The recorder's sound: desktop loopback, microphone and per-application captures, the five
// encoders that turn them into clip tracks, and one timeline per encoder that puts every packet on
// the monotonic clock next to the pictures. Portable: the captures come in through the audio seams.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/recorder_hooks.h"
#include "audio/audio_encoder.h"
#include "audio/audio_mixer.h"
#include "audio/audio_sources.h"
#include "audio/microphone_mix.h"
#include "audio/pending_audio.h"
#include "core/audio_timeline.h"

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
  // The microphone added to the Windows 10 desktop mix is lifted by this much, then clamped.
  static constexpr float kW10MicrophoneBoost = 1.18f;
  static constexpr float kPeakLimit = 0.98f;
  // Microphone samples waiting for a mixed block are kept to half a second, newest first, so a
  // stalled desktop cannot delay the microphone in the mix by more than that.
  static constexpr int kMicPendingMs = 500;
  // The mixes are made this long after the desktop sound was captured, so that the microphone
  // and the programs (whose sound reaches us by other paths, some with a longer delay) have
  // delivered what they captured at the same moment. The main track ends this much before the
  // picture.
  static constexpr int64_t kMixDelayNs = 50'000'000;
  // Holes in capture up to this long are written as silence; longer ones (the device was gone)
  // stay holes in the time stamps only.
  static constexpr int64_t kMaxSilenceNs = 10'000'000'000;

  explicit AudioPipeline(AudioPipelineParts parts);
  ~AudioPipeline() override;

  void Open(const settings::ProfileStore& store, const settings::AudioQualitySettings& quality,
            bool windows10Mode) override;
  AudioSummary Summary() const override;
  int PerProcessSources() const override;
  bool PerProcessCapturing() const override;

  void StartSession(ProcessId process, const std::string& processName, int64_t startNs) override;
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
  // One encoded stream: its encoder, the timeline of its output samples and where this session's
  // samples begin in the encoder's running count.
  struct Track {
    AacEncoder encoder;
    AudioTimeline timeline;
    int64_t base = 0;
    int64_t overlapFrames = 0;  // input frames still to drop after the capture's delay shrank
    bool open = false;
    void Restart();
  };

  bool OpenLoopback();
  bool OpenMicrophone();
  void StartCaptures();
  // Adds a chunk to the track's timeline (after the silence a hole before it calls for),
  // encodes it and appends the packets; returns how many.
  size_t EncodeInto(Track& track, const float* samples, int frames, int inputRate, int channels,
                    int64_t captureNs, PacketHistory& history, const char* gapLine,
                    bool encode = true);
  size_t EncodeFrames(Track& track, const float* samples, int frames, PacketHistory& history);
  size_t FillSilence(Track& track, int64_t silenceNs, int inputRate, int channels,
                     PacketHistory& history);
  void QueueMicrophoneForMixes(const std::vector<float>& samples, int64_t endNs);
  // Mixes the desktop chunks captured before `beforeNs` (all of them when 0).
  void MixWaiting(AudioHistories& histories, int64_t beforeNs);
  void MixChunk(const AudioChunk& chunk, AudioHistories& histories);
  void AddPendingMicrophone(PendingAudio& pending, int64_t startNs, std::vector<float>& block,
                            int channels) const;
  void FlushTrack(Track& track, int inputRate, int channels, PacketHistory& history);
  int64_t Now() const;

  AudioPipelineParts parts_;
  AudioMixer mixer_;
  const settings::ProfileStore* store_ = nullptr;
  settings::AudioQualitySettings quality_;
  bool windows10Mode_ = false;
  std::string renderId_;
  std::string microphoneId_;

  bool loopbackOpen_ = false;
  bool microphoneOpen_ = false;
  bool desktopRunning_ = false;
  bool microphoneStarted_ = false;
  int loopRate_ = 0, loopChannels_ = 0;
  int micRate_ = 0, micChannels_ = 0;
  float micGain_ = 1.0f;

  Track desktop_, game_, microphone_, mix_, appMix_;

  // Desktop frames of this session already turned into per-application blocks (48 kHz frames).
  int64_t desktopFramesMixed_ = 0;
  int64_t appFramesMixed_ = 0;
  // Microphone at the desktop's layout (for the desktop mix) and at 48 kHz stereo (for the
  // application mix), waiting to be added to the next blocks.
  PendingAudio micForMix_;
  PendingAudio micForApp_;
  // Desktop chunks already in the desktop track, waiting to be mixed.
  std::deque<AudioChunk> unmixed_;
  MicrophoneResampler micToDesktop_;
  MicrophoneResampler micToApp_;

  AudioCounters counters_;
};

}  // namespace halvex
