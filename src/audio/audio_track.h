#pragma once
// One encoded sound track: its encoder, the timeline that puts every packet on the monotonic clock
// next to the pictures, and the rules for holes in capture (written as silence) and for a capture
// whose delay shrank (the repeated sound is dropped).
#include <cstddef>
#include <cstdint>

#include "audio/audio_encoder.h"
#include "core/audio_timeline.h"
#include "core/packet_history.h"
#include "settings/audio_settings.h"

namespace halvex {

class AudioTrack {
 public:
  // Holes in capture up to this long are written as silence; longer ones (the device was gone)
  // stay holes in the time stamps only.
  static constexpr int64_t kMaxSilenceNs = 10'000'000'000;

  // Opens the encoder for input at `inputRate` and `channels` with the quality's output. The
  // input format is kept even when the encoder fails: the timeline still watches for gaps.
  bool Open(int inputRate, int channels, const settings::AudioQualitySettings& quality);
  void Close();
  bool IsOpen() const { return open_; }

  // Session start: the encoder starts over, and this session's positions start where its
  // running count stands (it keeps counting across a reset).
  void Restart();
  // Session end: the timeline forgets the session.
  void EndSession();

  // Adds a chunk of `frames` frames captured at `captureNs` to the timeline (after the silence a
  // hole before it calls for), encodes it unless the track is closed or `encode` is false, and
  // appends the packets to `history`. A gap is logged with `gapLine` when given. Returns how
  // many packets were appended.
  size_t Add(const float* samples, int frames, int64_t captureNs, PacketHistory& history,
             const char* gapLine = nullptr, bool encode = true);
  // Shutdown: silence enough to complete the partly filled frame, so its samples reach the
  // history.
  void Flush(PacketHistory& history);

  const AudioTimeline& Timeline() const { return timeline_; }
  AudioStreamParams StreamParams() const { return encoder_.GetStreamParams(); }

 private:
  size_t EncodeFrames(const float* samples, int frames, PacketHistory& history);
  size_t FillSilence(int64_t silenceNs, PacketHistory& history);

  AacEncoder encoder_;
  AudioTimeline timeline_;
  int inputRate_ = 0;
  int channels_ = 0;
  int outputRate_ = 0;
  int64_t base_ = 0;           // the encoder's count at this session's first sample
  int64_t overlapFrames_ = 0;  // input frames still to drop after the capture's delay shrank
  bool open_ = false;
};

}  // namespace halvex
