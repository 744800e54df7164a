#include "core/audio_timeline.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace halvex {
namespace {

constexpr int64_t kMs = 1'000'000;
constexpr int64_t kT0 = 5'000 * kMs;

TEST(AudioTimelineTest, FirstChunkAnchorsAtItsCaptureTime) {
  AudioTimeline timeline;
  EXPECT_EQ(timeline.TimeOfSample(0), 0);  // nothing yet
  EXPECT_EQ(timeline.AddChunk(kT0, 480, 48000, 48000), 0);
  EXPECT_EQ(timeline.TimeOfSample(0), kT0);
  EXPECT_EQ(timeline.TimeOfSample(480), kT0 + 10 * kMs);
  EXPECT_EQ(timeline.ExpectedNs(), kT0 + 10 * kMs);
  // A position before the first anchor is measured from it.
  EXPECT_EQ(timeline.TimeOfSample(-48), kT0 - kMs);
}

TEST(AudioTimelineTest, JitterBelowTheLimitIsAbsorbed) {
  AudioTimeline timeline;
  timeline.AddChunk(kT0, 480, 48000, 48000);
  // Late by 60 ms, then early by 5 ms: both laid end to end.
  EXPECT_EQ(timeline.AddChunk(kT0 + 70 * kMs, 480, 48000, 48000), 0);
  EXPECT_EQ(timeline.AddChunk(kT0 + 15 * kMs, 480, 48000, 48000), 0);
  // Exactly 100,000,000 ns late is still continuous.
  EXPECT_EQ(timeline.AddChunk(kT0 + 30 * kMs + 100 * kMs, 480, 48000, 48000), 0);
  EXPECT_EQ(timeline.Anchors().size(), 1u);
  EXPECT_EQ(timeline.TimeOfSample(4 * 480), kT0 + 40 * kMs);
}

TEST(AudioTimelineTest, GapKeepsItsLengthAndIsReported) {
  AudioTimeline timeline;
  timeline.AddChunk(kT0, 480, 48000, 48000);
  EXPECT_EQ(timeline.AddChunk(kT0 + 10 * kMs + 250 * kMs, 480, 48000, 48000), 250 * kMs);
  ASSERT_EQ(timeline.Anchors().size(), 2u);
  EXPECT_EQ(timeline.Anchors()[1].position, 480);
  EXPECT_EQ(timeline.TimeOfSample(479), kT0 + 9'979'167);  // rounded to the nearest ns
  EXPECT_EQ(timeline.TimeOfSample(480), kT0 + 260 * kMs);
  EXPECT_EQ(timeline.TimeOfSample(960), kT0 + 270 * kMs);
  // One nanosecond over the limit is a gap too.
  EXPECT_EQ(timeline.AddChunk(kT0 + 270 * kMs + 100'000'001, 480, 48000, 48000), 100'000'001);
}

TEST(AudioTimelineTest, ResamplingMapsInputFramesToOutputPositions) {
  AudioTimeline timeline;
  // 441 frames at 44.1 kHz are 480 output samples at 48 kHz.
  timeline.AddChunk(kT0, 441, 44100, 48000);
  timeline.AddChunk(kT0 + 10 * kMs, 441, 44100, 48000);
  EXPECT_EQ(timeline.TimeOfSample(960), kT0 + 20 * kMs);
  EXPECT_EQ(timeline.ExpectedNs(), kT0 + 20 * kMs);
  // Chunks of 10/3 ms: sample times come from the anchor, so they do not drift.
  AudioTimeline odd;
  for (int i = 0; i < 300; ++i) odd.AddChunk(kT0 + i * 3'333'333, 147, 44100, 48000);
  EXPECT_EQ(odd.TimeOfSample(300 * 160), kT0 + 1000 * kMs);
  EXPECT_NEAR(static_cast<double>(odd.ExpectedNs()), static_cast<double>(kT0 + 1000 * kMs), 1e3);
}

TEST(AudioTimelineTest, RateChangeRestartsTheAnchors) {
  AudioTimeline timeline;
  timeline.AddChunk(kT0, 480, 48000, 48000);
  timeline.AddChunk(kT0 + 300 * kMs, 480, 48000, 48000);  // a gap: two anchors
  EXPECT_EQ(timeline.AddChunk(kT0 + 320 * kMs, 441, 44100, 44100), 0);
  ASSERT_EQ(timeline.Anchors().size(), 1u);
  EXPECT_EQ(timeline.Anchors()[0].position, 0);
  EXPECT_EQ(timeline.TotalInputFrames(), 441);
  EXPECT_EQ(timeline.TimeOfSample(441), kT0 + 330 * kMs);
}

TEST(AudioTimelineTest, NonPositiveInputsChangeNothing) {
  AudioTimeline timeline;
  EXPECT_EQ(timeline.AddChunk(0, 480, 48000, 48000), 0);
  EXPECT_EQ(timeline.AddChunk(kT0, 0, 48000, 48000), 0);
  EXPECT_EQ(timeline.AddChunk(kT0, -5, 48000, 48000), 0);
  EXPECT_EQ(timeline.AddChunk(kT0, 480, 0, 48000), 0);
  EXPECT_EQ(timeline.AddChunk(kT0, 480, 48000, -1), 0);
  EXPECT_FALSE(timeline.Started());
  EXPECT_EQ(timeline.TimeOfSample(0), 0);
  timeline.AddChunk(kT0, 480, 48000, 48000);
  timeline.AddChunk(-kT0, 480, 48000, 48000);
  EXPECT_EQ(timeline.TotalInputFrames(), 480);
}

TEST(AudioTimelineTest, HugeValuesDoNotOverflow) {
  AudioTimeline timeline;
  const int64_t late = int64_t{1} << 62;
  timeline.AddChunk(late, int64_t{1} << 40, 48000, 96000);
  // 2^41 samples at 96 kHz = 2^40 × 10^9 / 48000 ns, far past what 64-bit products hold.
  EXPECT_EQ(timeline.TimeOfSample(int64_t{1} << 41), late + 22'906'492'245'333'333);
  EXPECT_EQ(MulDivRound(INT64_MAX / 2, 1'000'000'000, 1'000'000'000), INT64_MAX / 2);
}

}  // namespace
TEST(AudioTimelineTest, SilenceIsCalledForByHolesAndLastingDelaysOnly) {
  constexpr int64_t kMs = 1'000'000;
  constexpr int64_t t0 = 1'000'000'000;
  constexpr int64_t kFrameNs = 1'000'000'000 / 48000 + 1;  // rounded up: whole frames
  AudioTimeline timeline;
  EXPECT_EQ(timeline.SilenceBefore(t0), 0);
  // Chunk k holds the 10 ms captured from t0 + 10k ms and is stamped `delay` late; the recorder
  // adds the silence asked for and drops what overlaps.
  int64_t k = 0, skip = 0;
  auto chunk = [&](int64_t delay) {
    const int64_t at = t0 + k++ * 10 * kMs + delay;
    const int64_t silence = timeline.SilenceBefore(at);
    if (silence > 0) {
      timeline.AddChunk(timeline.ExpectedNs(), silence / kFrameNs, 48000, 48000);
    }
    if (silence < 0) skip += -silence / kFrameNs;
    const int64_t dropped = std::min<int64_t>(skip, 480);
    skip -= dropped;
    if (dropped < 480) timeline.AddChunk(at + dropped * kFrameNs, 480 - dropped, 48000, 48000);
    return silence;
  };
  chunk(0);
  // Jitter, and a delay that comes and goes, never add or drop sound.
  for (int i = 0; i <= 200; ++i) ASSERT_EQ(chunk(i % 2 ? 15 * kMs : 3 * kMs), 0) << i;
  // A delay that stays is paid once, at its smallest, after 300 ms.
  int64_t paid = 0;
  int when = -1;
  for (int i = 0; i < 100 && paid == 0; ++i) {
    paid = chunk(i % 3 ? 42 * kMs : 40 * kMs);
    if (paid != 0) when = i;
  }
  EXPECT_NEAR(paid, 40 * kMs, kMs / 10);
  EXPECT_EQ(when, 30);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(chunk(40 * kMs), 0) << i;
  // A delay that shrinks for good is taken back once, at its smallest, and stays put.
  paid = 0;
  for (int i = 0; i < 100 && paid == 0; ++i) paid = chunk(i % 2 ? 12 * kMs : 15 * kMs);
  EXPECT_NEAR(paid, -25 * kMs, kMs / 10);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(chunk(15 * kMs), 0) << i;
  // A delay that settles over a while (1 ms more per chunk, from 15 to 75 ms) is paid once, when
  // it has settled, by the settled amount.
  paid = 0;
  int payments = 0;
  for (int i = 0; i < 200; ++i) {
    const int64_t s = chunk((15 + std::min(i, 60)) * kMs);
    paid += s;
    payments += s != 0;
  }
  EXPECT_EQ(payments, 1);
  // Never more than the change, and within the spread of it: up to 4 ms stay as jitter.
  EXPECT_LE(paid, 60 * kMs);
  EXPECT_GE(paid, 60 * kMs - AudioTimeline::kDriftSpreadNs - kMs / 10);
  const int64_t left = 60 * kMs - paid;
  // A hole (25 chunks never arrived) is paid in full at once.
  k += 25;
  EXPECT_NEAR(chunk(75 * kMs), 250 * kMs + left, kMs / 10);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(chunk(75 * kMs), 0) << i;
}

}  // namespace halvex
