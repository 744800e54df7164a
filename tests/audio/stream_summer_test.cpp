#include "audio/stream_summer.h"

#include <gtest/gtest.h>

#include "audio/sample_queue.h"

namespace halvex {
namespace {

TEST(StreamSummerTest, AddsStreamsAndWaitsForTheSlowerOne) {
  std::vector<float> out;
  StreamSummer summer(8, [&](const float* s, size_t n) { out.insert(out.end(), s, s + n); });
  const float a[] = {1, 1, 1, 1};
  const float b[] = {2, 2};
  summer.Add(1, a, 4);
  EXPECT_EQ(out, (std::vector<float>{1, 1, 1, 1}));  // alone: passed on at once
  summer.Add(2, b, 2);  // a second stream joins at the current point
  summer.Add(1, a, 4);
  EXPECT_EQ(out, (std::vector<float>{1, 1, 1, 1, 3, 3}));
  summer.Remove(2);
  EXPECT_EQ(out, (std::vector<float>{1, 1, 1, 1, 3, 3, 1, 1}));
}

TEST(StreamSummerTest, ASilentStreamHoldsTheOthersBackOnlySoFar) {
  std::vector<float> out;
  StreamSummer summer(4, [&](const float* s, size_t n) { out.insert(out.end(), s, s + n); });
  const float a[] = {1, 1, 1, 1, 1, 1};
  const float none[] = {0};
  summer.Add(1, a, 6);
  summer.Add(2, none, 0);
  summer.Add(1, a, 6);
  EXPECT_EQ(out.size(), 8u);  // 12 written, 4 held for the silent stream
}

TEST(SampleQueueTest, KeepsTheNewest192000Samples) {
  SampleQueue queue;
  std::vector<float> first(191999, 1.0f), more(480, 2.0f), out;
  queue.Append(first.data(), first.size());
  queue.Append(more.data(), more.size(), 777);
  EXPECT_EQ(queue.Size(), 192000u);
  const SampleQueue::Taken taken = queue.TakeAll(out);
  EXPECT_EQ(taken.samples, 192000u);
  EXPECT_EQ(taken.endNs, 777);
  EXPECT_EQ(out.front(), 1.0f);
  EXPECT_EQ(out[191519], 1.0f);
  EXPECT_EQ(out[191520], 2.0f);
  EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace halvex
