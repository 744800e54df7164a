#pragma once
// Which pictures of a run are keyframes: the first one, and the first one 2 × fps pictures after
// the last keyframe, however that keyframe came about (forced for a new timeline, or placed by the
// encoder itself), so a clip cut anywhere finds a keyframe within two seconds. Where time stamps
// are known, a picture two seconds or more after the last keyframe is due as well: pictures
// dropped under load would otherwise stretch the period in time. Encoders only obey.
#include <cstdint>

namespace halvex {

class KeyframeSchedule {
 public:
  // Starts a run at `fps` pictures per second (below 1 counts as 1): the next picture is the first.
  void Start(int fps);
  // Whether the next picture must be forced to a keyframe by the schedule.
  bool Due() const;
  // The same for a next picture stamped `timestampNs`.
  bool DueAt(int64_t timestampNs) const;
  // Counts the next picture as encoded; `keyframe` is whether it came out a keyframe.
  void Encoded(bool keyframe);
  void Encoded(bool keyframe, int64_t timestampNs);

 private:
  int64_t period_ = 2;
  int64_t next_ = 0;          // index of the next picture in the run
  int64_t lastKeyframe_ = 0;  // index of the last keyframe
  int64_t lastKeyframeNs_ = 0;
  bool keyframeTimeKnown_ = false;
};

}  // namespace halvex
