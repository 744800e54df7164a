#include "audio/sample_queue.h"

#include "core/audio_timeline.h"

namespace halvex {

void SampleQueue::Append(const float* samples, size_t count, int64_t endNs) {
  std::lock_guard lock(mutex_);
  samples_.insert(samples_.end(), samples, samples + count);
  if (samples_.size() > maxSamples_) {
    samples_.erase(samples_.begin(), samples_.begin() + (samples_.size() - maxSamples_));
  }
  if (endNs != 0) endNs_ = endNs;
}

QueuedAudio SampleQueue::TakeAll(std::vector<float>& out) {
  std::lock_guard lock(mutex_);
  QueuedAudio taken{samples_.size(), endNs_};
  out.insert(out.end(), samples_.begin(), samples_.end());
  samples_.clear();
  return taken;
}

bool SampleQueue::TakeChunk(int rate, int channels, AudioChunk& chunk) {
  chunk.samples.clear();
  chunk.captureNs = 0;
  const QueuedAudio taken = TakeAll(chunk.samples);
  if (taken.samples == 0 || channels <= 0 || rate <= 0) return false;
  const int64_t frames = static_cast<int64_t>(taken.samples / static_cast<size_t>(channels));
  if (taken.endNs != 0) chunk.captureNs = taken.endNs - FramesToNs(frames, rate);
  return true;
}

size_t SampleQueue::Size() const {
  std::lock_guard lock(mutex_);
  return samples_.size();
}

void SampleQueue::Clear() {
  std::lock_guard lock(mutex_);
  samples_.clear();
}

}  // namespace halvex
