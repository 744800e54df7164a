#include "audio/stream_summer.h"

#include <algorithm>

#include "core/audio_timeline.h"

namespace halvex {

void StreamSummer::Add(int64_t stream, const float* samples, size_t count, int64_t captureNs) {
  size_t& pos = positions_[stream];
  if (sum_.size() < pos + count) sum_.resize(pos + count, 0.0f);
  for (size_t i = 0; i < count; ++i) sum_[pos + i] += samples[i];
  pos += count;
  if (captureNs > 0 && samplesPerSecond_ > 0) {
    timedPosition_ = static_cast<int64_t>(pos);
    timedNs_ = captureNs + MulDivRound(static_cast<int64_t>(count), 1'000'000'000,
                                       samplesPerSecond_);
  }
  Commit();
}

void StreamSummer::Remove(int64_t stream) {
  positions_.erase(stream);
  Commit();
}

void StreamSummer::Commit() {
  size_t ready = sum_.size();
  for (const auto& [id, pos] : positions_) ready = std::min(ready, pos);
  if (sum_.size() - ready > maxLag_) ready = sum_.size() - maxLag_;
  if (ready == 0) return;
  int64_t endNs = 0;
  if (timedNs_ != 0) {
    endNs = timedNs_ - MulDivRound(timedPosition_ - static_cast<int64_t>(ready), 1'000'000'000,
                                   samplesPerSecond_);
  }
  output_(sum_.data(), ready, endNs);
  sum_.erase(sum_.begin(), sum_.begin() + ready);
  for (auto& [id, pos] : positions_) pos = pos > ready ? pos - ready : 0;
  timedPosition_ -= static_cast<int64_t>(ready);
}

}  // namespace halvex
