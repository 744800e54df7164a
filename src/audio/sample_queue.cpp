#include "audio/sample_queue.h"

namespace halvex {

void SampleQueue::Append(const float* samples, size_t count, int64_t endNs) {
  std::lock_guard lock(mutex_);
  samples_.insert(samples_.end(), samples, samples + count);
  if (samples_.size() > maxSamples_) {
    samples_.erase(samples_.begin(), samples_.begin() + (samples_.size() - maxSamples_));
  }
  if (endNs != 0) endNs_ = endNs;
}

SampleQueue::Taken SampleQueue::TakeAll(std::vector<float>& out) {
  std::lock_guard lock(mutex_);
  Taken taken{samples_.size(), endNs_};
  out.insert(out.end(), samples_.begin(), samples_.end());
  samples_.clear();
  return taken;
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
