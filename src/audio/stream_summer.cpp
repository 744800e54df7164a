#include "audio/stream_summer.h"

#include <algorithm>

namespace halvex {

void StreamSummer::Add(int64_t stream, const float* samples, size_t count) {
  size_t& pos = positions_[stream];
  if (sum_.size() < pos + count) sum_.resize(pos + count, 0.0f);
  for (size_t i = 0; i < count; ++i) sum_[pos + i] += samples[i];
  pos += count;
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
  output_(sum_.data(), ready);
  sum_.erase(sum_.begin(), sum_.begin() + ready);
  for (auto& [id, pos] : positions_) pos = pos > ready ? pos - ready : 0;
}

}  // namespace halvex
