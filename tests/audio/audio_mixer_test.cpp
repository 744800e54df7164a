#include "audio/audio_mixer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "audio/fake_audio_sources.h"
#include "audio/volume_curve.h"
#include "core/log.h"
#include "settings/audio_settings.h"

namespace halvex {
namespace {

using testing::FakeAudioSessions;

constexpr AudioProcessId kOwn = 10;
constexpr AudioProcessId kGame = 100;

float Db(float gain) { return 20.0f * std::log10(gain); }

float Peak(const std::vector<float>& s) {
  float peak = 0;
  for (float v : s) peak = std::max(peak, std::fabs(v));
  return peak;
}

TEST(VolumeCurveTest, FollowsTheDecibelTable) {
  EXPECT_NEAR(Db(VolumeToGain(0.05f)), -55.0f, 1e-3);
  EXPECT_NEAR(Db(VolumeToGain(0.5f)), -12.0f, 1e-3);
  EXPECT_NEAR(Db(VolumeToGain(0.75f)), -5.0f, 1e-3);
  EXPECT_FLOAT_EQ(VolumeToGain(1.0f), 1.0f);
  EXPECT_FLOAT_EQ(VolumeToGain(0.0f), 0.0f);
  EXPECT_FLOAT_EQ(VolumeToGain(0.00001f), 0.0f);
  EXPECT_NEAR(Db(VolumeToGain(0.00002f)), -79.99f, 0.001);
  // Out of range and NaN are clamped, never amplified.
  EXPECT_FLOAT_EQ(VolumeToGain(3.0f), 1.0f);
  EXPECT_FLOAT_EQ(VolumeToGain(-1.0f), 0.0f);
  EXPECT_FLOAT_EQ(VolumeToGain(NAN), 0.0f);
}

class AudioMixerTest : public ::testing::Test {
 protected:
  std::vector<float> mix, game;
  int rate = 0, channels = 0;
  FakeAudioSessions sessions;
  AudioMixer mixer{sessions, kOwn};

  void Mix(int frames) { ASSERT_TRUE(mixer.MixFrames(frames, mix, game, rate, channels)); }
};

TEST_F(AudioMixerTest, NoFormatUntilACaptureExists) {
  EXPECT_FALSE(mixer.MixFrames(480, mix, game, rate, channels));
  sessions.Add(200, "player.exe");
  mixer.RefreshSources();
  EXPECT_FALSE(mixer.MixFrames(0, mix, game, rate, channels));
  Mix(480);
  EXPECT_EQ(rate, 48000);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(mix.size(), 960u);
  EXPECT_EQ(game.size(), 960u);
}

TEST_F(AudioMixerTest, TwoFullScaleSourcesArePeakLimited) {
  sessions.Add(200, "a.exe");
  sessions.Add(201, "b.exe");
  mixer.RefreshSources();
  sessions.Feed(200, 480, 0.7f);
  sessions.Feed(201, 480, 0.7f);
  Mix(480);
  EXPECT_NEAR(Peak(mix), 0.98f, 1e-6);
  for (float s : mix) ASSERT_NEAR(s, 0.98f, 1e-6);
  // One source alone below the limit passes unchanged.
  sessions.Feed(200, 480, 0.5f);
  Mix(480);
  EXPECT_FLOAT_EQ(mix[0], 0.5f);
  EXPECT_FLOAT_EQ(mix[959], 0.5f);
}

TEST_F(AudioMixerTest, ListIsFilteredDeduplicatedAndCappedAt24) {
  sessions.Add(0, "idle.exe");
  sessions.Add(kOwn, "halvex");
  sessions.Add(300, "C:\\Windows\\System32\\AudioDG.exe");
  sessions.Add(301, "dfx.exe");
  for (AudioProcessId pid = 1000; pid < 1025; ++pid) {
    sessions.Add(pid, "app" + std::to_string(pid) + ".exe");
  }
  sessions.Add(1000, "app1000.exe");  // a second session of the first program
  log::Capture lines;
  EXPECT_TRUE(mixer.RefreshSources());
  ASSERT_EQ(mixer.Sources().size(), AudioMixer::kMaxSources);
  EXPECT_EQ(mixer.Sources().front().pid, 1000u);
  EXPECT_EQ(mixer.Sources().back().pid, 1023u);
  EXPECT_EQ(sessions.Capture(1024), nullptr);  // the 25th is ignored, no capture either
  EXPECT_EQ(sessions.started.size(), AudioMixer::kMaxSources);
  EXPECT_TRUE(lines.Contains("[AUDIO-MIX] fuentes=24 | Aplicación (PID 1000) (PID 1000, capturando), "));
  // Same list again: nothing changed, nothing logged, captures kept.
  lines.Clear();
  EXPECT_FALSE(mixer.RefreshSources());
  EXPECT_EQ(lines.Lines().size(), 0u);
  EXPECT_EQ(sessions.started.size(), AudioMixer::kMaxSources);
}

TEST_F(AudioMixerTest, VolumesSurviveRefreshesAndLeaversAreStopped) {
  sessions.Add(200, "Player.exe", "Reproductor");
  sessions.Add(201, "chat.exe");
  mixer.RefreshSources();
  const std::string key = settings::MixerLevelKey("player.exe");
  EXPECT_EQ(mixer.Sources()[0].key, key);
  EXPECT_EQ(mixer.Sources()[0].name, "Reproductor");
  mixer.SetVolume(key, 0.5f);
  mixer.SetVolume(mixer.Sources()[1].key, 7.0f);  // clamped
  EXPECT_FLOAT_EQ(mixer.Sources()[1].volume, 1.0f);

  auto chat = sessions.Capture(201);
  sessions.sessions.erase(sessions.sessions.begin() + 1);
  log::Capture lines;
  EXPECT_TRUE(mixer.RefreshSources());
  EXPECT_FALSE(chat->alive);
  ASSERT_EQ(mixer.Sources().size(), 1u);
  EXPECT_FLOAT_EQ(mixer.Sources()[0].volume, 0.5f);
  EXPECT_TRUE(lines.Contains("[AUDIO-MIX] fuentes=1 | Reproductor (PID 200, capturando)"));

  sessions.Feed(200, 480, 0.5f);
  Mix(480);
  EXPECT_NEAR(Db(mix[0] / 0.5f), -12.0f, 1e-3);

  sessions.sessions.clear();
  EXPECT_TRUE(mixer.RefreshSources());
  EXPECT_TRUE(lines.Contains("[AUDIO-MIX] fuentes=0 | ninguna"));
}

TEST_F(AudioMixerTest, FailedCaptureIsListedSilentAndNotRetried) {
  sessions.capturesStart = false;
  sessions.Add(200, "broken.exe");
  log::Capture lines;
  mixer.RefreshSources();
  EXPECT_TRUE(lines.Contains("(PID 200, sin worker)"));
  EXPECT_FALSE(mixer.Sources()[0].capturing);
  sessions.Feed(200, 480, 0.5f);
  Mix(480);
  EXPECT_EQ(Peak(mix), 0.0f);
  mixer.RefreshSources();
  EXPECT_EQ(sessions.started.size(), 1u);
}

TEST_F(AudioMixerTest, GameFeedsBothStreamsAndIsNotAlsoAnApplication) {
  sessions.Add(kGame, "game.exe");
  sessions.Add(kGame + 1, "game-helper.exe");  // a child of the game
  sessions.Add(200, "music.exe");
  mixer.SetTargetProcess(kGame, "game.exe", [](AudioProcessId pid) { return pid == kGame + 1; });
  ASSERT_NE(sessions.Capture(kGame), nullptr);
  EXPECT_TRUE(sessions.Capture(kGame)->target.includeTree);
  mixer.RefreshSources();
  ASSERT_EQ(mixer.Sources().size(), 1u);
  EXPECT_EQ(mixer.Sources()[0].pid, 200u);

  sessions.Feed(kGame, 480, 0.25f);
  sessions.Feed(200, 480, 0.5f);
  mixer.SetVolume(mixer.GameKey(), 0.5f);
  Mix(480);
  EXPECT_FLOAT_EQ(game[0], 0.25f);  // the game-only stream is not scaled by the level
  EXPECT_NEAR(mix[0], 0.25f * VolumeToGain(0.5f) + 0.5f, 1e-6);
}

TEST_F(AudioMixerTest, AProgramThatBecomesTheGameIsMixedOnlyAsTheGame) {
  sessions.Add(kGame, "game.exe");
  sessions.Add(kGame + 1, "game-helper.exe");
  sessions.Add(200, "music.exe");
  mixer.RefreshSources();  // before the session: all three are programs
  ASSERT_EQ(mixer.Sources().size(), 3u);
  auto asProgram = sessions.Capture(kGame);

  mixer.SetTargetProcess(kGame, "game.exe", [](AudioProcessId pid) { return pid == kGame + 1; });
  ASSERT_EQ(mixer.Sources().size(), 1u);
  EXPECT_EQ(mixer.Sources()[0].pid, 200u);
  EXPECT_FALSE(asProgram->alive);
  ASSERT_NE(sessions.Capture(kGame), asProgram);

  // The server hands the game's sound to every stream that watches it.
  std::vector<float> samples(480 * 2, 0.25f);
  asProgram->queue.Append(samples.data(), samples.size(), 0);
  sessions.Feed(kGame, 480, 0.25f);
  sessions.Feed(200, 480, 0.5f);
  Mix(480);
  EXPECT_FLOAT_EQ(game[0], 0.25f);
  EXPECT_FLOAT_EQ(mix[0], 0.75f);
}

TEST_F(AudioMixerTest, ExcludedGameIsInNeitherStreamWhileOthersPlay) {
  sessions.Add(kGame, "game.exe");
  sessions.Add(200, "music.exe");
  mixer.SetTargetProcess(kGame, "game.exe");
  mixer.RefreshSources();
  auto gameCapture = sessions.Capture(kGame);
  sessions.Feed(kGame, 480, 0.3f);

  mixer.SetExcludedAudio({"GAME.EXE"});
  EXPECT_TRUE(mixer.GameExcluded());
  EXPECT_FALSE(gameCapture->alive);
  mixer.RefreshSources();
  sessions.Feed(200, 480, 0.5f);
  Mix(480);
  EXPECT_EQ(Peak(game), 0.0f);
  EXPECT_FLOAT_EQ(mix[0], 0.5f);
  ASSERT_EQ(mixer.Sources().size(), 1u);

  // Taken off the list again, the game comes back with a fresh capture.
  mixer.SetExcludedAudio({});
  ASSERT_NE(sessions.Capture(kGame), gameCapture);
  sessions.Feed(kGame, 480, 0.3f);
  Mix(480);
  EXPECT_FLOAT_EQ(game[0], 0.3f);
}

TEST_F(AudioMixerTest, ExcludedProgramLeavesTheMix) {
  sessions.Add(200, "music.exe");
  sessions.Add(201, "voice.exe");
  mixer.RefreshSources();
  mixer.SetExcludedAudio({"voice.exe"});
  mixer.RefreshSources();
  ASSERT_EQ(mixer.Sources().size(), 1u);
  EXPECT_EQ(mixer.Sources()[0].pid, 200u);
}

TEST_F(AudioMixerTest, StalledSourceContributesAtMostHalfASecond) {
  sessions.Add(200, "music.exe");
  mixer.RefreshSources();
  // Three seconds arrive at once after a stall: ramp values tell which ones survive.
  std::vector<float> burst;
  for (int f = 0; f < 3 * 48000; ++f) burst.insert(burst.end(), {f * 1e-6f, f * 1e-6f});
  sessions.Capture(200)->queue.Append(burst.data(), burst.size());  // queue keeps its newest 2 s
  size_t blocks = 0;
  size_t lastNonZero = 0;
  for (; blocks < 100; ++blocks) {
    Mix(4800);
    if (Peak(mix) == 0.0f) break;
    lastNonZero = blocks;
    if (blocks == 0) {
      EXPECT_FLOAT_EQ(mix[0], (3 * 48000 - 24000) * 1e-6f);
    }
  }
  EXPECT_EQ(lastNonZero, 4u);  // five blocks of 100 ms = the newest half second
}

TEST_F(AudioMixerTest, ShortSourceFillsTheStartOfTheBlock) {
  sessions.Add(200, "music.exe");
  mixer.RefreshSources();
  sessions.Feed(200, 100, 0.5f);
  Mix(480);
  EXPECT_FLOAT_EQ(mix[199], 0.5f);
  EXPECT_FLOAT_EQ(mix[200], 0.0f);
}

// 10 ms blocks of 480 frames from t = 1 s; a frame is 20833 ns.
constexpr int64_t kT0 = 1'000'000'000;
constexpr int64_t kMs = 1'000'000;

// Index of the first frame of the left channel above `level` (-1 when none).
int FirstFrameAbove(const std::vector<float>& s, float level) {
  for (size_t i = 0; i < s.size(); i += 2) {
    if (s[i] > level) return static_cast<int>(i / 2);
  }
  return -1;
}

TEST_F(AudioMixerTest, TimedSourcesAreLinedUpWithTheBlock) {
  mixer.SetTargetProcess(kGame, "game.exe");
  sessions.Add(200, "late.exe");
  sessions.Add(201, "behind.exe");
  mixer.RefreshSources();
  // The game started 5 ms into the block; the late program's sound began 30 ms before the
  // block but only reaches us now, together with 20 ms that belong to the block.
  sessions.Feed(kGame, 240, 0.25f, kT0 + 10 * kMs);
  sessions.Feed(200, 1440, 0.5f, kT0 + 20 * kMs);
  mixer.MixFrames(480, kT0, mix, game, rate, channels);
  EXPECT_EQ(FirstFrameAbove(game, 0.1f), 240);
  EXPECT_FLOAT_EQ(game[479 * 2], 0.25f);
  EXPECT_FLOAT_EQ(mix[0], 0.5f);          // the late program from the block's first frame
  EXPECT_FLOAT_EQ(mix[479 * 2], 0.75f);   // both at the end
  // Its 30 ms from before the block are gone; its last 10 ms make the next block.
  mixer.MixFrames(480, kT0 + 10 * kMs, mix, game, rate, channels);
  EXPECT_FLOAT_EQ(mix[479 * 2], 0.5f);
  mixer.MixFrames(480, kT0 + 20 * kMs, mix, game, rate, channels);
  EXPECT_EQ(Peak(mix), 0.0f);
}

TEST_F(AudioMixerTest, CaptureJitterNeitherCutsNorPadsTheSound) {
  sessions.Add(200, "music.exe");
  mixer.RefreshSources();
  // 10 ms per read, stamped up to 3 ms off: every sample is used, in order, none repeated.
  const int64_t jitter[] = {0, 3, -2, 1, -3, 2, 0, -1};
  int next = 0, expected = 0;
  auto value = [](int k) { return static_cast<float>(k + 1) * 1e-4f; };
  for (int b = 0; b < 8; ++b) {
    std::vector<float> samples;
    for (int f = 0; f < 480; ++f, ++next) samples.insert(samples.end(), {value(next), value(next)});
    sessions.Capture(200)->queue.Append(samples.data(), samples.size(),
                                        kT0 + (b + 1) * 10 * kMs + jitter[b] * kMs);
    mixer.MixFrames(480, kT0 + b * 10 * kMs, mix, game, rate, channels);
    for (size_t i = 0; i < mix.size(); i += 2, ++expected) {
      ASSERT_EQ(mix[i], value(expected)) << "block " << b << " frame " << i / 2;
    }
  }
  EXPECT_EQ(sessions.Capture(200)->queue.Size(), 0u);
}

TEST_F(AudioMixerTest, WithoutPerProcessCaptureLevelsGoToTheSystemMixer) {
  sessions.perProcess = false;
  sessions.Add(200, "music.exe");
  mixer.SetTargetProcess(kGame, "game.exe");
  mixer.RefreshSources();
  EXPECT_TRUE(sessions.started.empty());
  EXPECT_FALSE(mixer.MixFrames(480, mix, game, rate, channels));
  mixer.SetVolume(mixer.Sources()[0].key, 0.25f);
  ASSERT_EQ(sessions.volumesSet.size(), 1u);
  EXPECT_EQ(sessions.volumesSet[0].first, 200u);
  EXPECT_FLOAT_EQ(sessions.volumesSet[0].second, 0.25f);
}

TEST_F(AudioMixerTest, StopEndsEveryCapture) {
  sessions.Add(200, "music.exe");
  mixer.SetTargetProcess(kGame, "game.exe");
  mixer.RefreshSources();
  mixer.Stop();
  for (const auto& state : sessions.started) EXPECT_FALSE(state->alive);
  EXPECT_TRUE(mixer.Sources().empty());
  EXPECT_FALSE(mixer.GameCapturing());
}

TEST(MicrophoneMixTest, ChannelMapping) {
  std::vector<float> out;
  const float mono[] = {0.1f, 0.2f};
  MapMicrophoneChannels(mono, 2, 1, 2, out);
  EXPECT_EQ(out, (std::vector<float>{0.1f, 0.1f, 0.2f, 0.2f}));
  out.clear();
  const float stereo[] = {0.2f, 0.4f};
  MapMicrophoneChannels(stereo, 1, 2, 1, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_FLOAT_EQ(out[0], 0.3f);
  out.clear();
  MapMicrophoneChannels(stereo, 1, 2, 4, out);  // extra channels repeat the last input
  EXPECT_EQ(out, (std::vector<float>{0.2f, 0.4f, 0.4f, 0.4f}));
}

TEST(MicrophoneMixTest, ResamplesWhenRatesDiffer) {
  FakeAudioSessions sessions;
  AudioMixer mixer(sessions, kOwn);
  std::vector<float> in(4410, 0.5f), out;
  // Same layout: copied as is.
  ASSERT_TRUE(mixer.ResampleMicrophoneForMix(in, 44100, 1, 44100, 1, out));
  EXPECT_EQ(out, in);
  out.clear();
  // One second of 44.1 kHz mono becomes about one second of 48 kHz stereo.
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(mixer.ResampleMicrophoneForMix(in, 44100, 1, 48000, 2, out));
  EXPECT_EQ(out.size() % 2, 0u);
  EXPECT_NEAR(static_cast<double>(out.size()) / 2, 48000.0, 100.0);
  // Mono is spread over both channels at -3 dB each.
  EXPECT_NEAR(out[out.size() / 2], 0.5f * std::sqrt(0.5f), 1e-3);
}

}  // namespace
}  // namespace halvex
