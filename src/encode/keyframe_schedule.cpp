#include "encode/keyframe_schedule.h"

#include <algorithm>

namespace halvex {

void KeyframeSchedule::Start(int fps) {
  period_ = 2 * static_cast<int64_t>(std::max(fps, 1));
  next_ = 0;
  lastKeyframe_ = 0;
  keyframeTimeKnown_ = false;
}

bool KeyframeSchedule::Due() const { return next_ == 0 || next_ - lastKeyframe_ >= period_; }

bool KeyframeSchedule::DueAt(int64_t timestampNs) const {
  constexpr int64_t kPeriodNs = 2'000'000'000;
  return Due() || (keyframeTimeKnown_ && timestampNs - lastKeyframeNs_ >= kPeriodNs);
}

void KeyframeSchedule::Encoded(bool keyframe) {
  if (keyframe) {
    lastKeyframe_ = next_;
    keyframeTimeKnown_ = false;
  }
  ++next_;
}

void KeyframeSchedule::Encoded(bool keyframe, int64_t timestampNs) {
  Encoded(keyframe);
  if (keyframe) {
    lastKeyframeNs_ = timestampNs;
    keyframeTimeKnown_ = true;
  }
}

}  // namespace halvex
