#include "audio/mix_scheduler.h"

#include <algorithm>
#include <cmath>

#include "core/audio_timeline.h"

namespace halvex {
namespace {

void LimitPeak(std::vector<float>& block) {
  float peak = 0;
  for (float s : block) peak = std::max(peak, std::fabs(s));
  if (peak <= MixScheduler::kPeakLimit) return;
  const float scale = MixScheduler::kPeakLimit / peak;
  for (float& s : block) s *= scale;
}

// Where a block starting at a chunk captured at `captureNs` begins on the track's timeline: the
// timeline lays chunks end to end unless a gap opens.
int64_t BlockStart(const AudioTimeline& timeline, int64_t captureNs) {
  if (timeline.Started() && captureNs - timeline.ExpectedNs() < AudioTimeline::kContinuityNs) {
    return timeline.ExpectedNs();
  }
  return captureNs;
}

// The microphone captured during the block is added to it; what belongs later waits.
void AddPendingMicrophone(PendingAudio& pending, int64_t startNs, std::vector<float>& block,
                          int channels) {
  const int frames = static_cast<int>(block.size() / static_cast<size_t>(channels));
  pending.AddInto(startNs, frames, 1.0f, block.data());
  LimitPeak(block);
}

}  // namespace

void MixScheduler::Start(const Format& format) {
  format_ = format;
  micForMix_.SetFormat(format.loopRate, format.loopChannels);
  micForApp_.SetFormat(kProcessCaptureRate, kProcessCaptureChannels);
  Clear();
}

void MixScheduler::Clear() {
  micToDesktop_.Reset();
  micToApp_.Reset();
  micForMix_.Clear();
  micForApp_.Clear();
  unmixed_.clear();
  desktopFramesMixed_ = 0;
  appFramesMixed_ = 0;
}

// The resamplers' few samples of delay are far inside the alignment's slack.
void MixScheduler::QueueMicrophone(const std::vector<float>& samples, int64_t endNs) {
  const int micRate = format_.micRate, micChannels = format_.micChannels;
  const int loopRate = format_.loopRate, loopChannels = format_.loopChannels;
  const size_t frames = samples.size() / static_cast<size_t>(micChannels);
  if (tracks_.mix.IsOpen()) {
    std::vector<float>& out = micForMix_.Samples();
    const size_t before = out.size();
    if (format_.loopbackMainMix) {
      std::vector<float> lifted(samples);
      for (float& s : lifted) {
        s = std::clamp(s * kLoopbackMixMicrophoneBoost, -kPeakLimit, kPeakLimit);
      }
      mixer_.ResampleMicrophoneForMix(lifted, micRate, micChannels, loopRate, loopChannels, out);
    } else if (micRate == loopRate) {
      MapMicrophoneChannels(samples.data(), static_cast<int>(frames), micChannels, loopChannels,
                            out);
    } else {
      micToDesktop_.Convert(samples, micRate, micChannels, loopRate, loopChannels, out);
    }
    micForMix_.Appended(out.size() - before, endNs);
    micForMix_.KeepNewest(static_cast<size_t>(loopRate) * loopChannels * kMicPendingMs / 1000);
  }
  if (tracks_.appMix.IsOpen() && !format_.loopbackMainMix) {
    std::vector<float>& out = micForApp_.Samples();
    const size_t before = out.size();
    if (micRate == kProcessCaptureRate) {
      MapMicrophoneChannels(samples.data(), static_cast<int>(frames), micChannels,
                            kProcessCaptureChannels, out);
    } else {
      micToApp_.Convert(samples, micRate, micChannels, kProcessCaptureRate,
                        kProcessCaptureChannels, out);
    }
    micForApp_.Appended(out.size() - before, endNs);
    micForApp_.KeepNewest(static_cast<size_t>(kProcessCaptureRate) * kProcessCaptureChannels *
                          kMicPendingMs / 1000);
  }
}

size_t MixScheduler::MixWaiting(AudioHistories& histories, int64_t beforeNs) {
  size_t packets = 0;
  while (!unmixed_.empty()) {
    const AudioChunk& chunk = unmixed_.front();
    const int64_t frames =
        static_cast<int64_t>(chunk.samples.size() / static_cast<size_t>(format_.loopChannels));
    if (beforeNs != 0 && chunk.captureNs + FramesToNs(frames, format_.loopRate) > beforeNs) break;
    packets += MixChunk(chunk, histories);
    unmixed_.pop_front();
  }
  return packets;
}

// Every stream other than the desktop is lined up with the chunk's time by its own capture
// times. The microphone goes into the block that is the clip's main track (the application mix,
// or the desktop mix where there is none) and into the desktop mix in every case.
size_t MixScheduler::MixChunk(const AudioChunk& chunk, AudioHistories& histories) {
  const int loopRate = format_.loopRate, loopChannels = format_.loopChannels;
  const int frames = static_cast<int>(chunk.samples.size() / static_cast<size_t>(loopChannels));
  if (frames <= 0) return 0;
  size_t mixPackets = 0;
  if (tracks_.mix.IsOpen()) {
    std::vector<float> block = chunk.samples;
    AddPendingMicrophone(micForMix_, BlockStart(tracks_.mix.Timeline(), chunk.captureNs), block,
                         loopChannels);
    mixPackets = tracks_.mix.Add(block.data(), frames, chunk.captureNs, histories.mix);
  }
  AudioTrack& game = tracks_.game;
  AudioTrack& appMix = tracks_.appMix;
  if (format_.loopbackMainMix || (!game.IsOpen() && !appMix.IsOpen())) return mixPackets;

  const int64_t target = MulDivRound(desktopFramesMixed_ + frames, kProcessCaptureRate, loopRate);
  const int blockFrames = static_cast<int>(target - appFramesMixed_);
  desktopFramesMixed_ += frames;
  appFramesMixed_ = target;
  if (blockFrames <= 0) return mixPackets;

  const int64_t startNs =
      BlockStart(appMix.IsOpen() ? appMix.Timeline() : game.Timeline(), chunk.captureNs);
  std::vector<float> appOut, gameOut;
  int rate = 0, channels = 0;
  const size_t count = static_cast<size_t>(blockFrames) * kProcessCaptureChannels;
  if (!mixer_.MixFrames(blockFrames, startNs, appOut, gameOut, rate, channels) ||
      rate != kProcessCaptureRate || channels != kProcessCaptureChannels) {
    // No program could be captured: the main track still carries the microphone and keeps time.
    appOut.assign(count, 0.0f);
    gameOut.assign(count, 0.0f);
  }
  game.Add(gameOut.data(), blockFrames, chunk.captureNs, histories.game);
  if (appMix.IsOpen()) {
    AddPendingMicrophone(micForApp_, startNs, appOut, kProcessCaptureChannels);
    appMix.Add(appOut.data(), blockFrames, chunk.captureNs, histories.appMix);
  }
  return mixPackets;
}

}  // namespace halvex
