#pragma once
// Adds up several streams that arrive independently (one program with several sound streams) into
// one. Each stream writes from its own position; what every live stream has covered is handed
// on. A stream that falls silent (paused) holds the others back for at most `maxLagSamples`.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace halvex {

class StreamSummer {
 public:
  using Output = std::function<void(const float* samples, size_t count)>;

  StreamSummer(size_t maxLagSamples, Output output)
      : maxLag_(maxLagSamples), output_(std::move(output)) {}

  void Add(int64_t stream, const float* samples, size_t count);
  // The stream is gone: it no longer holds the others back.
  void Remove(int64_t stream);
  size_t Streams() const { return positions_.size(); }

 private:
  void Commit();

  size_t maxLag_;
  Output output_;
  std::vector<float> sum_;              // not yet handed on
  std::map<int64_t, size_t> positions_;  // per stream, into sum_
};

}  // namespace halvex
