#include "encode/keyframe_schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvex {
namespace {

// One picture per character, saying what happens to it besides the schedule:
//   '.' the encoder obeys: a keyframe exactly when one is forced
//   'f' the caller forces a keyframe (a new timeline)
//   'k' the encoder makes a keyframe of its own accord
//   'x' the encode fails: no picture comes out
struct ScheduleCase {
  const char* name;
  int fps;
  std::string pictures;
  std::vector<int> due;  // the pictures the schedule forces
};

std::vector<int> DuePictures(KeyframeSchedule& schedule, const std::string& pictures) {
  std::vector<int> due;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const char what = pictures[i];
    const bool forced = schedule.Due() || what == 'f';
    if (schedule.Due()) due.push_back(static_cast<int>(i));
    const bool keyframe = what != 'x' && (forced || what == 'k');
    schedule.Encoded(keyframe);
  }
  return due;
}

TEST(KeyframeScheduleTest, ForcesTheFirstPictureAndOneEveryTwoSecondsFromTheLastKeyframe) {
  const std::vector<ScheduleCase> cases = {
      {"every 2 x fps pictures", 2, "...........", {0, 4, 8}},
      {"at 30 fps", 30, std::string(121, '.'), {0, 60, 120}},
      {"fps below 1 counts as 1", 0, ".....", {0, 2, 4}},
      {"negative fps counts as 1", -5, ".....", {0, 2, 4}},
      {"a forced keyframe restarts the period", 2, "..f........", {0, 6, 10}},
      {"a forced keyframe on a due picture changes nothing", 2, "....f....", {0, 4, 8}},
      {"the encoder's own keyframe restarts the period", 2, ".k.......", {0, 5}},
      {"a failed due picture leaves the next one due", 2, "....x.....", {0, 4, 5, 9}},
      {"failures between keyframes still count", 2, ".xx.....", {0, 4}},
  };
  for (const ScheduleCase& c : cases) {
    SCOPED_TRACE(c.name);
    KeyframeSchedule schedule;
    schedule.Start(c.fps);
    EXPECT_EQ(DuePictures(schedule, c.pictures), c.due);
  }
}

TEST(KeyframeScheduleTest, WithTimeStampsAPictureTwoSecondsAfterTheLastKeyframeIsDue) {
  struct TimedCase {
    const char* name;
    int fps;
    std::vector<int64_t> stampsMs;
    std::vector<int> due;
  };
  const std::vector<TimedCase> cases = {
      // 30 fps pictures with half of them dropped: by count the next keyframe would be 4 s away.
      {"drops do not stretch the period", 30, {0, 67, 133, 1933, 2000, 2067, 4000}, {0, 4, 6}},
      {"just under two seconds is not due", 30, {0, 1999, 2000}, {0, 2}},
      {"the count still rules at full rate", 2, {0, 500, 1000, 1500, 2000}, {0, 4}},
      {"a time stamp going back is not due", 30, {5000, 100, 200}, {0}},
  };
  for (const TimedCase& c : cases) {
    SCOPED_TRACE(c.name);
    KeyframeSchedule schedule;
    schedule.Start(c.fps);
    std::vector<int> due;
    for (size_t i = 0; i < c.stampsMs.size(); ++i) {
      const int64_t ns = c.stampsMs[i] * 1'000'000;
      const bool forced = schedule.DueAt(ns);
      if (forced) due.push_back(static_cast<int>(i));
      schedule.Encoded(forced, ns);
    }
    EXPECT_EQ(due, c.due);
  }
  // A keyframe counted without its time stamp leaves only the count.
  KeyframeSchedule schedule;
  schedule.Start(30);
  schedule.Encoded(true, 0);
  schedule.Encoded(true);
  EXPECT_FALSE(schedule.DueAt(10'000'000'000));
}

TEST(KeyframeScheduleTest, StartingAgainBeginsANewRunWithAKeyframe) {
  KeyframeSchedule schedule;
  schedule.Start(2);
  EXPECT_EQ(DuePictures(schedule, "..."), (std::vector<int>{0}));
  schedule.Start(1);
  EXPECT_EQ(DuePictures(schedule, "....."), (std::vector<int>{0, 2, 4}));
}

}  // namespace
}  // namespace halvex
