#pragma once
// When and how the mixed tracks are made. The mixes follow the desktop loopback: each desktop
// chunk, once it is old enough, makes one block of the desktop mix and one per-application block
// of the same length at 48 kHz, both at the chunk's time on their timelines. The microphone waits
// for the blocks that were captured at its own time and is added to them.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "audio/audio_histories.h"
#include "audio/audio_mixer.h"
#include "audio/audio_sources.h"
#include "audio/audio_track.h"
#include "audio/microphone_mix.h"
#include "audio/pending_audio.h"

namespace halvex {

class MixScheduler {
 public:
  // The microphone added to a mix built on the output's loopback (where there are no
  // per-process tracks) is lifted by this much, then clamped.
  static constexpr float kLoopbackMixMicrophoneBoost = 1.18f;
  static constexpr float kPeakLimit = 0.98f;
  // Microphone samples waiting for a mixed block are kept to half a second, newest first, so a
  // stalled desktop cannot delay the microphone in the mix by more than that.
  static constexpr int kMicPendingMs = 500;
  // The mixes are made this long after the desktop sound was captured, so that the microphone
  // and the programs (whose sound reaches us by other paths, some with a longer delay) have
  // delivered what they captured at the same moment. The main track ends this much before the
  // picture.
  static constexpr int64_t kMixDelayNs = 50'000'000;

  // The tracks the mixes are encoded into; they must outlive the scheduler.
  struct Tracks {
    AudioTrack& mix;
    AudioTrack& game;
    AudioTrack& appMix;
  };

  // What the session's devices deliver, and whether the main track is built on the output's
  // loopback (no per-process tracks) instead of the application mix.
  struct Format {
    int loopRate = 0;
    int loopChannels = 0;
    int micRate = 0;
    int micChannels = 0;
    bool loopbackMainMix = false;
  };

  MixScheduler(AudioMixer& mixer, Tracks tracks) : mixer_(mixer), tracks_(tracks) {}

  // Session start: nothing waits, the resamplers start over.
  void Start(const Format& format);
  // Session end: drops everything waiting.
  void Clear();

  // A desktop chunk already in the desktop track waits here to be mixed.
  void QueueDesktop(AudioChunk chunk) { unmixed_.push_back(std::move(chunk)); }
  // Microphone samples (gain applied) for the mixes; `endNs` is the capture time just after the
  // last sample.
  void QueueMicrophone(const std::vector<float>& samples, int64_t endNs);
  // Mixes the desktop chunks captured before `beforeNs` (all of them when 0) and encodes the
  // blocks into the tracks and their histories. Returns the packets added to the desktop mix.
  size_t MixWaiting(AudioHistories& histories, int64_t beforeNs);

 private:
  size_t MixChunk(const AudioChunk& chunk, AudioHistories& histories);

  AudioMixer& mixer_;
  Tracks tracks_;
  Format format_;

  // Desktop frames of this session already turned into per-application blocks (48 kHz frames).
  int64_t desktopFramesMixed_ = 0;
  int64_t appFramesMixed_ = 0;
  // Microphone at the desktop's layout (for the desktop mix) and at 48 kHz stereo (for the
  // application mix), waiting to be added to the next blocks.
  PendingAudio micForMix_;
  PendingAudio micForApp_;
  std::deque<AudioChunk> unmixed_;
  MicrophoneResampler micToDesktop_;
  MicrophoneResampler micToApp_;
};

}  // namespace halvex
