#include "audio/audio_track.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "core/log.h"

namespace halvex {
namespace {

std::string Milliseconds(int64_t ns) { return std::to_string((ns + 500'000) / 1'000'000); }

}  // namespace

bool AudioTrack::Open(int inputRate, int channels, const settings::AudioQualitySettings& quality) {
  inputRate_ = inputRate;
  channels_ = channels;
  outputRate_ = quality.sampleRate;
  open_ = encoder_.Initialize(inputRate, channels, quality.sampleRate, quality.bitrateKbps,
                              quality.format);
  return open_;
}

void AudioTrack::Close() {
  encoder_.Close();
  open_ = false;
}

void AudioTrack::Restart() {
  if (open_) encoder_.Reset();
  base_ = encoder_.SamplesEncoded();
  EndSession();
}

void AudioTrack::EndSession() {
  timeline_.Reset();
  overlapFrames_ = 0;
}

size_t AudioTrack::EncodeFrames(const float* samples, int frames, PacketHistory& history) {
  std::vector<EncodedAudioPacket> packets;
  encoder_.Encode(samples, frames, packets);
  for (EncodedAudioPacket& p : packets) {
    history.Append(std::move(p.bytes), true, timeline_.TimeOfSample(p.pts - base_), p.duration);
  }
  return packets.size();
}

// A hole in capture is written as silence of its length: players lay a track's packets end to
// end, so a hole left only in the time stamps would move all later sound early by its length.
size_t AudioTrack::FillSilence(int64_t silenceNs, PacketHistory& history) {
  if (silenceNs <= 0 || silenceNs > kMaxSilenceNs || channels_ <= 0) return 0;
  int64_t left = MulDivRound(silenceNs, inputRate_, 1'000'000'000);
  size_t packets = 0;
  std::vector<float> silence;
  while (left > 0) {
    const int frames = static_cast<int>(std::min<int64_t>(left, inputRate_));  // a second at most
    silence.assign(static_cast<size_t>(frames) * channels_, 0.0f);
    timeline_.AddChunk(timeline_.ExpectedNs(), frames, inputRate_, outputRate_);
    packets += EncodeFrames(silence.data(), frames, history);
    left -= frames;
  }
  return packets;
}

size_t AudioTrack::Add(const float* samples, int frames, int64_t captureNs,
                       PacketHistory& history, const char* gapLine, bool encode) {
  if (frames <= 0) return 0;
  const bool encoding = open_ && encode;
  size_t packets = 0;
  int64_t gap = 0;
  if (encoding) {
    const int64_t silence = timeline_.SilenceBefore(captureNs);
    if (silence >= AudioTimeline::kContinuityNs) gap = silence;
    packets += FillSilence(silence, history);
    // The capture's delay shrank: this much sound repeats time already in the track.
    if (silence < 0) overlapFrames_ += MulDivRound(-silence, inputRate_, 1'000'000'000);
    const int64_t dropped = std::min<int64_t>(overlapFrames_, frames);
    if (dropped > 0) {
      overlapFrames_ -= dropped;
      samples += dropped * channels_;
      frames -= static_cast<int>(dropped);
      captureNs += FramesToNs(dropped, inputRate_);
      if (frames <= 0) return packets;
    }
  }
  const int64_t late = timeline_.AddChunk(captureNs, frames, inputRate_, outputRate_);
  if (late > 0) gap = late;
  if (gap > 0 && gapLine != nullptr) {
    log::Line(std::string(gapLine) + Milliseconds(gap) +
              " ms; se conserva en el timeline del clip.");
  }
  if (!encoding) return packets;
  return packets + EncodeFrames(samples, frames, history);
}

void AudioTrack::Flush(PacketHistory& history) {
  if (!open_ || !timeline_.Started() || inputRate_ <= 0 || channels_ <= 0) return;
  const int64_t frames =
      MulDivRound(encoder_.GetFrameSize(), inputRate_, encoder_.OutputRate()) + 1;
  const std::vector<float> silence(static_cast<size_t>(frames * channels_), 0.0f);
  EncodeFrames(silence.data(), static_cast<int>(frames), history);
}

}  // namespace halvex
