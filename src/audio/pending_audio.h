#pragma once
// Sound waiting for a mix block, with the capture time just after its newest sample. Streams that
// started at different moments or reach us with different delays are lined up by these times:
// each block takes the samples that were captured during the block, wherever they sit in the
// buffer. Without times (0) the waiting samples simply start the next block.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex {

class PendingAudio {
 public:
  // Differences this small are capture-time noise: the stream is taken as continuous and left
  // where it is, so jitter never cuts or pads the sound.
  static constexpr int64_t kSlackNs = 4'000'000;

  void SetFormat(int rate, int channels);

  // The buffer new samples are appended to; call Appended after appending.
  std::vector<float>& Samples() { return samples_; }
  const std::vector<float>& Samples() const { return samples_; }
  // `count` samples were appended, the newest captured just before `endNs` (0 when unknown).
  void Appended(size_t count, int64_t endNs);
  void Append(const float* samples, size_t count, int64_t endNs);

  // Keeps the newest `maxSamples`.
  void KeepNewest(size_t maxSamples);

  struct Placement {
    size_t offset = 0;  // where in the block the first waiting sample belongs (samples)
    size_t count = 0;   // how many waiting samples belong to the block
  };
  // Lines the waiting samples up with a block of `frames` frames whose first sample was captured
  // at `startNs` (0 when unknown). Samples captured before the block are dropped here.
  Placement Place(int64_t startNs, int frames);
  // Removes the first `count` samples (those a block used).
  void Consume(size_t count);
  // Places the waiting samples in a block of `frames` frames starting at `startNs`, adds them
  // times `gain` to `block` (and, when given, copies them unscaled to `copy`), and consumes them.
  void AddInto(int64_t startNs, int frames, float gain, float* block, float* copy = nullptr);

  void Clear();
  int64_t EndNs() const { return endNs_; }
  // How many times the stream was moved to follow its capture times (sound dropped or delayed).
  int Realignments() const { return realignments_; }

 private:
  int rate_ = 0;
  int channels_ = 0;
  std::vector<float> samples_;
  int64_t endNs_ = 0;
  int realignments_ = 0;
};

}  // namespace halvex
