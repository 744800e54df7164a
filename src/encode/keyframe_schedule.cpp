#include "encode/keyframe_schedule.h"

#include <algorithm>

namespace halvex {

void KeyframeSchedule::Start(int fps) {
  period_ = 2 * static_cast<int64_t>(std::max(fps, 1));
  next_ = 0;
  lastKeyframe_ = 0;
}

bool KeyframeSchedule::Due() const { return next_ == 0 || next_ - lastKeyframe_ >= period_; }

void KeyframeSchedule::Encoded(bool keyframe) {
  if (keyframe) lastKeyframe_ = next_;
  ++next_;
}

}  // namespace halvex
