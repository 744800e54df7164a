#pragma once
// A bounded first-in-first-out queue of interleaved float samples, filled by a capture thread and
// emptied by the capture loop. When an append overflows the bound the oldest samples go, so the
// queue always holds the newest sound and memory stays fixed when nobody reads.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace halvex {

struct AudioChunk {
  std::vector<float> samples;  // interleaved
  int64_t captureNs = 0;       // capture time of the first sample; 0 when unknown
};

// Samples taken from a queue: how many, and the capture time just after the newest (0 when
// unknown).
struct QueuedAudio {
  size_t samples = 0;
  int64_t endNs = 0;
};

class SampleQueue {
 public:
  // Two seconds of 48 kHz stereo.
  static constexpr size_t kDefaultMaxSamples = 192000;

  explicit SampleQueue(size_t maxSamples = kDefaultMaxSamples) : maxSamples_(maxSamples) {}

  // `endNs`: capture time just after the last appended sample (0 when unknown).
  void Append(const float* samples, size_t count, int64_t endNs = 0);

  // Moves every queued sample to the end of `out`.
  QueuedAudio TakeAll(std::vector<float>& out);
  // Moves every queued sample into `chunk`, stamped with the capture time of its first sample
  // (0 when unknown). False when nothing was queued or the format is not known.
  bool TakeChunk(int rate, int channels, AudioChunk& chunk);

  size_t Size() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::deque<float> samples_;
  size_t maxSamples_;
  int64_t endNs_ = 0;
};

}  // namespace halvex
