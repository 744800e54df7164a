// One track over the real encoder: the last partly filled frame at shutdown, a track whose
// encoder failed still watching for gaps, and a capture whose delay shrank.
#include "audio/audio_track.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/clock.h"
#include "core/log.h"

namespace halvex {
namespace {

constexpr int64_t kMs = 1'000'000;
constexpr const char* kGapLine = "[PRUEBA] hueco: ";

std::vector<float> Tone(int frames, int channels) {
  return std::vector<float>(static_cast<size_t>(frames) * channels, 0.25f);
}

TEST(AudioTrackTest, FlushDeliversThePartlyFilledFrameWithEvenStamps) {
  settings::AudioQualitySettings quality;
  AudioTrack track;
  ASSERT_TRUE(track.Open(48000, 2, quality));
  PacketHistory history(60);
  track.Flush(history);  // nothing captured yet: nothing to finish
  EXPECT_TRUE(history.SnapshotFrom(0).empty());

  const int64_t t0 = NowNs();
  const std::vector<float> tone = Tone(480, 2);
  for (int i = 0; i < 25; ++i) track.Add(tone.data(), 480, t0 + i * 10 * kMs, history);
  const size_t before = history.SnapshotFrom(0).size();
  track.Flush(history);
  const std::vector<EncodedPacket> packets = history.SnapshotFrom(0);
  ASSERT_GT(packets.size(), before);
  const double frameNs = 1024 * 1e9 / quality.sampleRate;
  for (size_t i = 1; i < packets.size(); ++i) {
    EXPECT_NEAR(double(packets[i].timestampNs - packets[i - 1].timestampNs), frameNs, 1000) << i;
  }
}

TEST(AudioTrackTest, ATrackWithoutEncoderStillReportsGaps) {
  settings::AudioQualitySettings quality;
  quality.format = AudioFormat::Opus;  // at most two channels
  AudioTrack track;
  ASSERT_FALSE(track.Open(48000, 6, quality));
  PacketHistory history(60);
  log::Capture logs;
  const int64_t t0 = NowNs();
  const std::vector<float> tone = Tone(480, 6);
  EXPECT_EQ(track.Add(tone.data(), 480, t0, history, kGapLine), 0u);
  EXPECT_EQ(track.Add(tone.data(), 480, t0 + 360 * kMs, history, kGapLine), 0u);
  EXPECT_TRUE(logs.Contains("[PRUEBA] hueco: 350 ms; se conserva en el timeline del clip."));
  EXPECT_TRUE(history.SnapshotFrom(0).empty());
  track.Flush(history);
  EXPECT_TRUE(history.SnapshotFrom(0).empty());
}

// The capture's delay shrank by 40 ms for good: its next 40 ms repeat time already in the track
// and are dropped once, so the track's length stays the time that passed.
TEST(AudioTrackTest, AShrunkDelayDropsTheRepeatedSoundOnce) {
  settings::AudioQualitySettings quality;
  AudioTrack track;
  ASSERT_TRUE(track.Open(48000, 2, quality));
  PacketHistory history(60);
  const int64_t t0 = NowNs();
  const std::vector<float> tone = Tone(480, 2);
  for (int i = 0; i < 100; ++i) track.Add(tone.data(), 480, t0 + i * 10 * kMs, history);
  for (int i = 0; i < 200; ++i) {
    track.Add(tone.data(), 480, t0 + (1000 - 40 + i * 10) * kMs, history);
  }
  EXPECT_EQ(track.Timeline().TotalInputFrames(), 300 * 480 - 40 * 48);
}

}  // namespace
}  // namespace halvex
