#include "audio/pending_audio.h"

#include <algorithm>
#include <cstdlib>

#include "core/audio_timeline.h"

namespace halvex {

void PendingAudio::SetFormat(int rate, int channels) {
  if (rate == rate_ && channels == channels_) return;
  rate_ = rate;
  channels_ = channels;
  Clear();
}

void PendingAudio::Appended(size_t count, int64_t endNs) {
  if (count == 0 || endNs <= 0 || channels_ <= 0) return;
  if (endNs_ != 0) {
    const int64_t expected = endNs_ + FramesToNs(static_cast<int64_t>(count / channels_), rate_);
    // Within the slack the stream runs on from where it was; a larger jump (a pause, a burst
    // that arrived late) is taken as the stream's new position.
    if (std::llabs(endNs - expected) <= kSlackNs) endNs = expected;
  }
  endNs_ = endNs;
}

void PendingAudio::Append(const float* samples, size_t count, int64_t endNs) {
  samples_.insert(samples_.end(), samples, samples + count);
  Appended(count, endNs);
}

void PendingAudio::KeepNewest(size_t maxSamples) {
  if (samples_.size() > maxSamples) {
    samples_.erase(samples_.begin(),
                   samples_.end() - static_cast<std::ptrdiff_t>(maxSamples));
  }
}

PendingAudio::Placement PendingAudio::Place(int64_t startNs, int frames) {
  Placement placement;
  if (frames <= 0 || channels_ <= 0) return placement;
  if (samples_.empty()) return placement;
  const size_t blockSamples = static_cast<size_t>(frames) * channels_;
  if (startNs > 0 && endNs_ > 0 && rate_ > 0) {
    const int64_t waitingFrames = static_cast<int64_t>(samples_.size() / channels_);
    const int64_t firstNs = endNs_ - FramesToNs(waitingFrames, rate_);
    const int64_t lead = firstNs - startNs;  // > 0: the waiting sound belongs later
    if (lead < -kSlackNs) {
      const int64_t stale = std::min(MulDivRound(-lead, rate_, 1'000'000'000), waitingFrames);
      samples_.erase(samples_.begin(), samples_.begin() + stale * channels_);
      ++realignments_;
    } else if (lead > kSlackNs) {
      const int64_t at = std::min<int64_t>(MulDivRound(lead, rate_, 1'000'000'000), frames);
      placement.offset = static_cast<size_t>(at) * channels_;
      ++realignments_;
    }
  }
  placement.count = std::min(blockSamples - placement.offset, samples_.size());
  return placement;
}

void PendingAudio::Consume(size_t count) {
  count = std::min(count, samples_.size());
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(count));
}

void PendingAudio::AddInto(int64_t startNs, int frames, float gain, float* block, float* copy) {
  const Placement at = Place(startNs, frames);
  const float* p = samples_.data();
  for (size_t i = 0; i < at.count; ++i) block[at.offset + i] += p[i] * gain;
  if (copy) std::copy(p, p + at.count, copy + at.offset);
  Consume(at.count);
}

void PendingAudio::Clear() {
  samples_.clear();
  endNs_ = 0;
}

}  // namespace halvex
