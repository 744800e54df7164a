#include "encode/encoder_load_monitor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encode/software_output_size.h"

namespace halvex {
namespace {

// One judged window of pictures: each takes `encodeUs`; `drops` backlog drops happen in it.
struct Window {
  int64_t encodeUs;
  uint64_t drops;
};

struct LoadCase {
  const char* name;
  int fps;
  std::vector<Window> windows;
  std::vector<int> behindAfter;  // the windows after whose last picture Observe says "behind"
};

std::vector<int> BehindWindows(int fps, const std::vector<Window>& windows, uint64_t droppedBefore) {
  EncoderLoadMonitor monitor;
  monitor.Start(fps, droppedBefore);
  const int perWindow = std::max(fps / 2, 8);  // half a second of pictures, at least eight
  uint64_t dropped = droppedBefore;
  std::vector<int> behind;
  for (size_t w = 0; w < windows.size(); ++w) {
    for (int i = 0; i < perWindow; ++i) {
      if (i == 0) dropped += windows[w].drops;
      if (monitor.Observe(windows[w].encodeUs * 1000, dropped)) {
        EXPECT_EQ(i, perWindow - 1) << "judged before the window was complete";
        behind.push_back(static_cast<int>(w));
      }
    }
  }
  return behind;
}

TEST(EncoderLoadMonitorTest, SaysBehindAfterTwoSlowOrDroppingWindowsInARow) {
  const std::vector<LoadCase> cases = {
      {"60 fps encoding in 60 % of the interval", 60, {{10000, 0}, {10000, 0}, {10000, 0}}, {}},
      {"60 fps encoding in 96 % of the interval", 60,
       {{16000, 0}, {16000, 0}, {16000, 0}, {16000, 0}}, {1, 3}},
      {"89 % busy is still keeping up", 60, {{14800, 0}, {14800, 0}, {14800, 0}}, {}},
      {"a slow window between fast ones is a spike", 60,
       {{16500, 0}, {5000, 0}, {16500, 0}, {5000, 0}, {16500, 0}, {16500, 0}}, {5}},
      {"one picture in twenty dropped", 60, {{5000, 2}, {5000, 2}}, {1}},
      {"fewer drops than that", 60, {{5000, 1}, {5000, 1}, {5000, 1}}, {}},
      {"a single drop in a small window", 10, {{5000, 1}, {5000, 1}}, {1}},
      {"10 fps: windows of eight pictures of 100 ms", 10, {{95000, 0}, {95000, 0}}, {1}},
      {"2 fps: windows of at least eight pictures", 2, {{480000, 0}, {480000, 0}}, {1}},
      {"fps below 1 counts as 1", 0, {{950000, 0}, {950000, 0}}, {1}},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(BehindWindows(c.fps, c.windows, 0), c.behindAfter);
  }
}

TEST(EncoderLoadMonitorTest, PicturesSlowerThanTheWholeWindowEndItEarly) {
  struct SlowCase {
    int fps;
    int64_t encodeMs;
    int picturesUntilBehind;
  };
  const std::vector<SlowCase> cases = {
      {60, 16, 60},   // behind by the share, two full windows of 30
      {60, 40, 26},   // 13 pictures take 520 ms of a 500 ms window
      {60, 200, 6},   // 3 pictures a window
      {60, 1000, 2},  // every picture is a window
      {10, 95, 16},   // windows of 8
  };
  for (const SlowCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.fps) + " fps, " + std::to_string(c.encodeMs) + " ms");
    EncoderLoadMonitor monitor;
    monitor.Start(c.fps, 0);
    int pictures = 0;
    while (pictures < 1000 && !monitor.Observe(c.encodeMs * 1'000'000, 0)) ++pictures;
    EXPECT_EQ(pictures + 1, c.picturesUntilBehind);
  }
}

TEST(EncoderLoadMonitorTest, DropsFromBeforeStartDoNotCountAndMeanIsOfTheLastWindow) {
  EXPECT_EQ(BehindWindows(60, {{5000, 0}, {5000, 0}}, 500), std::vector<int>{});

  EncoderLoadMonitor monitor;
  monitor.Start(30, 0);
  EXPECT_EQ(monitor.FrameIntervalNs(), 33'333'333);
  for (int i = 0; i < 15; ++i) monitor.Observe(i < 5 ? 10'000'000 : 25'000'000, 0);
  EXPECT_EQ(monitor.LastMeanEncodeNs(), 20'000'000);
}

TEST(EncoderLoadMonitorTest, StepsAreAFasterSettingFirstThenHalfTheRateDownToFifteen) {
  using Step = EncoderLoadMonitor::Step;
  struct StepCase {
    bool canSpeedUp;
    int fps;
    Step step;
  };
  const std::vector<StepCase> cases = {
      {true, 60, Step::SpeedUp},   {true, 15, Step::SpeedUp},    {false, 60, Step::HalveRate},
      {false, 30, Step::HalveRate}, {false, 29, Step::None},     {false, 15, Step::None},
      {false, 1, Step::None},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.fps) + (c.canSpeedUp ? " with a faster setting" : ""));
    EXPECT_EQ(EncoderLoadMonitor::ChooseStep(c.canSpeedUp, c.fps), c.step);
  }
}

TEST(SoftwareStartSizeTest, LargerSourcesFitIn1280x720WithTheirShapeAndEvenSides) {
  struct SizeCase {
    int width, height;
    VideoSize expected;
  };
  const std::vector<SizeCase> cases = {
      {1920, 1080, {1280, 720}},  // 16:9
      {2560, 1440, {1280, 720}},
      {3440, 1440, {1280, 534}},  // 21:9: the width bounds it
      {1920, 1200, {1152, 720}},  // 16:10: the height bounds it
      {1024, 1280, {576, 720}},   // portrait
      {1280, 720, {1280, 720}},   // already fits: unchanged
      {800, 600, {800, 600}},
      {1281, 720, {1280, 718}},   // just over: rounded down to even
      {0, 1080, {0, 0}},
      {1920, -1, {0, 0}},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    EXPECT_EQ(SoftwareStartSize(c.width, c.height), c.expected);
  }
  EXPECT_EQ(SoftwareStartSize(1920, 1080, {0, 0}), (VideoSize{1920, 1080}));  // no limit
}

}  // namespace
}  // namespace halvex
