#include "audio/stream_summer.h"

#include <gtest/gtest.h>

#include "audio/sample_queue.h"

namespace halvex {
namespace {

TEST(StreamSummerTest, AddsStreamsAndWaitsForTheSlowerOne) {
  std::vector<float> out;
  StreamSummer summer(8, 48000 * 2,
                      [&](const float* s, size_t n, int64_t) { out.insert(out.end(), s, s + n); });
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
  StreamSummer summer(4, 48000 * 2,
                      [&](const float* s, size_t n, int64_t) { out.insert(out.end(), s, s + n); });
  const float a[] = {1, 1, 1, 1, 1, 1};
  const float none[] = {0};
  summer.Add(1, a, 6);
  summer.Add(2, none, 0);
  summer.Add(1, a, 6);
  EXPECT_EQ(out.size(), 8u);  // 12 written, 4 held for the silent stream
}

TEST(StreamSummerTest, WhatIsHandedOnCarriesTheTimeOfItsEnd) {
  // 1000 samples per second: one sample is a millisecond.
  std::vector<std::pair<size_t, int64_t>> out;
  StreamSummer summer(100, 1000, [&](const float*, size_t n, int64_t endNs) {
    out.emplace_back(n, endNs);
  });
  const std::vector<float> ten(10, 0.5f);
  summer.Add(1, ten.data(), 0);                          // a second stream, nothing yet
  summer.Add(2, ten.data(), 10, 5'000'000'000);          // stream 2 captured 5.000 .. 5.010 s
  EXPECT_TRUE(out.empty());                              // stream 1 holds it back
  summer.Add(1, ten.data(), 4, 4'990'000'000);           // stream 1 reaches 4 samples
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].first, 4u);
  // The newest timed write puts sample 4 at 4.994 s: stream 1's clock, not stream 2's.
  EXPECT_EQ(out[0].second, 4'994'000'000);
  summer.Remove(1);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].first, 6u);
  EXPECT_EQ(out[1].second, 5'000'000'000);
  summer.Add(2, ten.data(), 10);                         // untimed: runs on from the last time
  EXPECT_EQ(out.back().second, 5'010'000'000);
}

TEST(SampleQueueTest, KeepsTheNewest192000Samples) {
  SampleQueue queue;
  std::vector<float> first(191999, 1.0f), more(480, 2.0f), out;
  queue.Append(first.data(), first.size());
  queue.Append(more.data(), more.size(), 777);
  EXPECT_EQ(queue.Size(), 192000u);
  const QueuedAudio taken = queue.TakeAll(out);
  EXPECT_EQ(taken.samples, 192000u);
  EXPECT_EQ(taken.endNs, 777);
  EXPECT_EQ(out.front(), 1.0f);
  EXPECT_EQ(out[191519], 1.0f);
  EXPECT_EQ(out[191520], 2.0f);
  EXPECT_EQ(queue.Size(), 0u);
}

}  // namespace
}  // namespace halvex
