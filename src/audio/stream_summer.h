#pragma once
// Adds up several streams that arrive independently (one program with several sound streams) into
// one. Each stream writes from its own position; what every live stream has covered is handed
// on. A stream that falls silent (paused) holds the others back for at most `maxLagSamples`.
// Capture times travel along: what is handed on carries the time just after its last sample,
// taken from the newest timed write.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace halvex {

class StreamSummer {
 public:
  // `endNs`: capture time just after the last sample handed on; 0 when no write had a time.
  using Output = std::function<void(const float* samples, size_t count, int64_t endNs)>;

  // `samplesPerSecond`: rate × channels of every stream.
  StreamSummer(size_t maxLagSamples, int64_t samplesPerSecond, Output output)
      : maxLag_(maxLagSamples), samplesPerSecond_(samplesPerSecond), output_(std::move(output)) {}

  // `captureNs`: capture time of the first of the samples (0 when unknown).
  void Add(int64_t stream, const float* samples, size_t count, int64_t captureNs = 0);
  // The stream is gone: it no longer holds the others back.
  void Remove(int64_t stream);
  size_t Streams() const { return positions_.size(); }

 private:
  void Commit();

  size_t maxLag_;
  int64_t samplesPerSecond_;
  Output output_;
  std::vector<float> sum_;              // not yet handed on
  std::map<int64_t, size_t> positions_;  // per stream, into sum_
  // The newest timed write: the position in sum_ just after it, and the time of that position.
  // The position may go below zero once the samples it names have been handed on.
  int64_t timedPosition_ = 0;
  int64_t timedNs_ = 0;
};

}  // namespace halvex
