#pragma once
// Maps sample positions of an encoder's output to the monotonic clock. Chunks that arrive close to
// where the previous one ended are laid end to end (scheduling jitter disappears); a real gap in
// capture keeps its length, so picture and sound stay in step across it.
#include <cstdint>
#include <vector>

namespace halvex {

class AudioTimeline {
 public:
  // A chunk starting later than this after the expected time is a gap.
  static constexpr int64_t kContinuityNs = 100'000'001;

  struct Anchor {
    int64_t position = 0;  // output samples
    int64_t timeNs = 0;
  };

  // Adds a chunk of `frames` input frames whose first sample was captured at `captureNs`. Returns
  // the gap in nanoseconds when one was found (0 otherwise). Nothing happens when any argument is
  // not positive.
  int64_t AddChunk(int64_t captureNs, int64_t frames, int inputRate, int outputRate);

  // A capture delay that changed for good (every chunk of the last 300 ms this much late, or
  // this much early, or more, all within 4 ms of each other) is corrected: late by silence,
  // early by dropping the overlap.
  static constexpr int64_t kDriftNs = 10'000'000;
  static constexpr int64_t kDriftWindowNs = 300'000'000;
  static constexpr int64_t kDriftSpreadNs = 4'000'000;  // "about the same amount"

  // How much silence belongs before a chunk captured at `captureNs` so that it lands at its own
  // time: the whole gap when it is beyond the continuity window, the smallest lateness of the
  // last 300 ms when the delay grew for good, else 0 (always 0 before the first chunk).
  // Negative: the delay shrank for good and the chunk's start overlaps sound already laid by
  // that much. Called once per chunk, before AddChunk; add silence with AddChunk at ExpectedNs().
  int64_t SilenceBefore(int64_t captureNs);

  // Time of output sample `position`; 0 while no chunk was added.
  int64_t TimeOfSample(int64_t position) const;

  void Reset();

  bool Started() const { return started_; }
  int64_t TotalInputFrames() const { return totalInput_; }
  int64_t ExpectedNs() const { return expectedNs_; }
  const std::vector<Anchor>& Anchors() const { return anchors_; }

 private:
  int64_t OutputPosition(int64_t inputFrames) const;

  bool started_ = false;
  int inputRate_ = 0;
  int outputRate_ = 0;
  int64_t totalInput_ = 0;
  int64_t expectedNs_ = 0;
  std::vector<Anchor> anchors_;
  int64_t driftSinceNs_ = 0;  // first chunk of the current run of drifted chunks; 0 when none
  int driftSign_ = 0;
  int64_t leastDriftNs_ = 0;
  int64_t mostDriftNs_ = 0;
};

// round(a × b ÷ c) for c > 0 without overflowing the intermediate product.
int64_t MulDivRound(int64_t a, int64_t b, int64_t c);

// How long `frames` frames at `rate` last, rounded to the nanosecond; 0 without a rate.
inline int64_t FramesToNs(int64_t frames, int rate) {
  return rate > 0 ? MulDivRound(frames, 1'000'000'000, rate) : 0;
}

}  // namespace halvex
