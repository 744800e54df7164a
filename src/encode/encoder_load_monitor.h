#pragma once
// Whether a software encoder keeps up with the picture rate, judged from how long each picture
// takes to encode and how many pictures the capture loop had to drop because the pool was full,
// and what to do about it: first a faster encoder setting, then half the picture rate. Dropping
// at random when the encoder falls behind makes clips stutter and stretches the keyframe period in
// time; a steady lower rate does neither.
#include <cstdint>

namespace halvex {

class EncoderLoadMonitor {
 public:
  enum class Step { None, SpeedUp, HalveRate };

  // The rate is never halved below this.
  static constexpr int kMinFrameRate = 15;

  // Starts judging a run at `fps` (below 1 counts as 1); `droppedSoFar` is the worker's drop
  // count now, so that drops from before do not count.
  void Start(int fps, uint64_t droppedSoFar);

  // One picture was encoded in `encodeNs`; `droppedSoFar` is the worker's drop count now. True
  // when the encoder has fallen behind for two windows in a row (a window is half a second of
  // pictures, at least eight, or fewer pictures that took longer than that to encode); judging
  // then starts over.
  bool Observe(int64_t encodeNs, uint64_t droppedSoFar);

  // The mean encode time of the last window that was judged, in nanoseconds.
  int64_t LastMeanEncodeNs() const { return lastMeanNs_; }
  int64_t FrameIntervalNs() const { return intervalNs_; }

  // What to do when behind at `fps`: a faster setting while the encoder has one, then half the
  // rate while that stays at or above kMinFrameRate, else nothing.
  static Step ChooseStep(bool encoderCanSpeedUp, int fps);

 private:
  int64_t intervalNs_ = 1'000'000'000;
  int window_ = 8;             // pictures per judged window
  int inWindow_ = 0;
  int64_t busyNs_ = 0;         // encode time within the window
  uint64_t droppedAtWindowStart_ = 0;
  int behindWindows_ = 0;      // consecutive windows that fell behind
  int64_t lastMeanNs_ = 0;
};

}  // namespace halvex
