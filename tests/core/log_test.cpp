#include "core/log.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace halvex::log {
namespace {

TEST(LogTest, CaptureCollectsLinesAndNests) {
  Capture outer;
  Line("[CLIP] uno");
  {
    Capture inner;
    Warning("dos");
    EXPECT_EQ(inner.Lines(), std::vector<std::string>{"AVISO: dos"});
  }
  Error("tres");
  EXPECT_EQ(outer.Lines(), (std::vector<std::string>{"[CLIP] uno", "ERROR: tres"}));
  EXPECT_TRUE(outer.Contains("uno"));
  EXPECT_EQ(outer.Count("ERROR:"), 1u);
}

TEST(LogTest, LinesFromManyThreadsArriveWhole) {
  Capture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 250; ++i) Line("[VIDEO] hilo " + std::to_string(t));
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(capture.Lines().size(), 1000u);
  EXPECT_EQ(capture.Count("hilo 3"), 250u);
}

}  // namespace
}  // namespace halvex::log
