// The PulseAudio backend against a real server of the test's own.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "audio/audio_mixer.h"
#include "audio/linux/pulse_device_capture.h"
#include "audio/linux/pulse_device_list.h"
#include "audio/linux/pulse_sessions.h"
#include "audio/linux/private_pulse_server.h"
#include "core/audio_timeline.h"
#include "core/clock.h"
#include "core/log.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::kTestMic;
using testing::kTestMicLine;
using testing::kTestSink;

// First channel only, without the silence before and after the tone.
std::vector<float> Channel0(const std::vector<float>& interleaved, int channels) {
  std::vector<float> mono;
  for (size_t i = 0; i + channels <= interleaved.size(); i += channels) {
    mono.push_back(interleaved[i]);
  }
  auto loud = [](float v) { return std::fabs(v) > 0.05f; };
  auto first = std::find_if(mono.begin(), mono.end(), loud);
  auto last = std::find_if(mono.rbegin(), mono.rend(), loud).base();
  return first < last ? std::vector<float>(first, last) : std::vector<float>{};
}

double ZeroCrossingHz(const std::vector<float>& mono, int rate) {
  if (mono.size() < 2) return 0;
  int rising = 0;
  for (size_t i = 1; i < mono.size(); ++i) rising += mono[i - 1] < 0 && mono[i] >= 0;
  return rising * static_cast<double>(rate) / static_cast<double>(mono.size());
}

// Share of the signal's energy at `hz` (0..1), by a single-bin DFT.
double EnergyShare(const std::vector<float>& mono, int rate, double hz) {
  if (mono.empty()) return 0;
  double re = 0, im = 0, total = 0;
  for (size_t i = 0; i < mono.size(); ++i) {
    const double w = 2 * M_PI * hz * static_cast<double>(i) / rate;
    re += mono[i] * std::cos(w);
    im += mono[i] * std::sin(w);
    total += mono[i] * mono[i];
  }
  return total > 0 ? 2 * (re * re + im * im) / (static_cast<double>(mono.size()) * total) : 0;
}

// Squared magnitude of one DFT bin.
double BlockPower(const std::vector<float>& mono, int rate, double hz) {
  double re = 0, im = 0;
  for (size_t i = 0; i < mono.size(); ++i) {
    const double w = 2 * M_PI * hz * static_cast<double>(i) / rate;
    re += mono[i] * std::cos(w);
    im += mono[i] * std::sin(w);
  }
  return re * re + im * im;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 4000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class PulseBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(error)) << error;
    folder_ = std::filesystem::path(std::getenv("XDG_RUNTIME_DIR"));
  }
  void TearDown() override {
    for (pid_t pid : players_) testing::EndProcess(pid);
    server_.Stop();
  }
  pid_t Play(const std::string& sink, double hz) {
    const pid_t pid = testing::PlayTone(folder_, sink, hz, 8.0);
    if (pid > 0) players_.push_back(pid);
    return pid;
  }

  testing::PrivatePulseServer server_;
  std::filesystem::path folder_;
  std::vector<pid_t> players_;
};

TEST_F(PulseBackendTest, DeviceListsNameOutputsAndRealInputs) {
  pulse::PulseDeviceList devices;
  const std::vector<AudioDevice> outputs = devices.Outputs();
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs[0].id, kTestSink);
  EXPECT_EQ(outputs[0].name, testing::kTestSinkDescription);
  const std::vector<AudioDevice> inputs = devices.Inputs();
  ASSERT_EQ(inputs.size(), 1u);  // monitors are not microphones
  EXPECT_EQ(inputs[0].id, kTestMic);
  EXPECT_FALSE(inputs[0].name.empty());
}

TEST_F(PulseBackendTest, OpeningAMissingDeviceFailsWithItsLine) {
  log::Capture lines;
  pulse::PulseLoopbackCapture loopback;
  EXPECT_FALSE(loopback.Open("no_such_sink"));
  EXPECT_TRUE(lines.Contains("PulseAudio: no se pudo abrir el dispositivo de salida solicitado"));
  EXPECT_TRUE(loopback.Open(""));
  EXPECT_EQ(loopback.SampleRate(), 48000);
  EXPECT_EQ(loopback.Channels(), 2);
  // Open on an open source replaces it.
  EXPECT_TRUE(loopback.Open(kTestSink));
  EXPECT_FALSE(loopback.Ended());
}

// Without a real input the server's default source is an output's monitor: recording it as the
// microphone would put the game's sound in the clip a second time.
TEST_F(PulseBackendTest, AnOutputsMonitorIsNeverTheMicrophone) {
  const std::string monitor = std::string(kTestSink) + ".monitor";
  ASSERT_EQ(std::system(("pactl set-default-source " + monitor).c_str()), 0);
  log::Capture lines;
  pulse::PulseMicrophoneCapture microphone;
  EXPECT_FALSE(microphone.Open(""));
  EXPECT_TRUE(lines.Contains("PulseAudio: no hay microfono por defecto (la entrada por defecto "
                             "es el monitor de una salida)"));
  EXPECT_FALSE(microphone.Open(monitor));
  EXPECT_TRUE(lines.Contains("PulseAudio: " + monitor + " es el monitor de una salida, no un "
                             "microfono"));
  EXPECT_TRUE(microphone.Open(kTestMic));  // a real input by name still opens
}

TEST_F(PulseBackendTest, LoopbackAndPerApplicationStreamsCarryTheirOwnTones) {
  pulse::PulseAudioSessions sessions;
  pulse::PulseLoopbackCapture loopback;
  ASSERT_TRUE(loopback.Open(""));
  ASSERT_TRUE(loopback.Start());

  const pid_t low = Play(kTestSink, 440);
  const pid_t high = Play(kTestSink, 880);
  ASSERT_GT(low, 0);
  ASSERT_GT(high, 0);
  // Started before the programs' streams exist: they are picked up as they appear.
  auto lowCapture = sessions.StartCapture("", {static_cast<AudioProcessId>(low), false, {}});
  auto highCapture = sessions.StartCapture(kTestSink, {static_cast<AudioProcessId>(high), false, {}});
  ASSERT_TRUE(lowCapture->Running());
  ASSERT_TRUE(highCapture->Running());

  std::vector<AudioSessionInfo> list;
  ASSERT_TRUE(WaitFor([&] {
    return sessions.List("", list) && list.size() == 2;
  })) << list.size();
  for (const AudioSessionInfo& s : list) {
    EXPECT_TRUE(s.pid == AudioProcessId(low) || s.pid == AudioProcessId(high));
    EXPECT_TRUE(s.imageName == "pacat" || s.imageName == "paplay") << s.imageName;
  }

  // A fresh null sink renders its first blocks late; wait for one second of each tone.
  std::vector<AudioChunk> chunks;
  std::vector<float> lowSamples, highSamples;
  WaitFor(
      [&] {
        loopback.Read(chunks);
        lowCapture->TakeQueued(lowSamples);
        highCapture->TakeQueued(highSamples);
        return Channel0(lowSamples, 2).size() > 48000 && Channel0(highSamples, 2).size() > 48000;
      },
      7000ms);
  loopback.Read(chunks);
  const int64_t now = NowNs();

  // Stamps come from the server's latency estimate, which wobbles: a chunk may start a little
  // before the previous one ended, but never by more than the timeline absorbs as jitter.
  std::vector<float> all;
  int64_t previousEnd = 0;
  for (const AudioChunk& chunk : chunks) {
    all.insert(all.end(), chunk.samples.begin(), chunk.samples.end());
    EXPECT_GT(chunk.captureNs, previousEnd - AudioTimeline::kContinuityNs);
    EXPECT_LT(chunk.captureNs, now);
    const auto frames = static_cast<int64_t>(chunk.samples.size() / 2);
    previousEnd = chunk.captureNs + frames * 1'000'000'000 / 48000;
  }
  ASSERT_FALSE(chunks.empty());
  EXPECT_GT(chunks.front().captureNs, now - 3'000'000'000);

  const std::vector<float> mixed = Channel0(all, 2);
  const std::vector<float> lowMono = Channel0(lowSamples, 2);
  const std::vector<float> highMono = Channel0(highSamples, 2);
  ASSERT_GT(mixed.size(), 24000u);
  ASSERT_GT(lowMono.size(), 24000u);
  ASSERT_GT(highMono.size(), 24000u);
  EXPECT_NEAR(ZeroCrossingHz(lowMono, 48000), 440, 8);
  EXPECT_NEAR(ZeroCrossingHz(highMono, 48000), 880, 8);
  EXPECT_GT(EnergyShare(lowMono, 48000, 440), 0.9);
  EXPECT_LT(EnergyShare(lowMono, 48000, 880), 0.01);
  EXPECT_LT(EnergyShare(highMono, 48000, 440), 0.01);
  // The loopback hears both programs.
  EXPECT_GT(EnergyShare(mixed, 48000, 440), 0.25);
  EXPECT_GT(EnergyShare(mixed, 48000, 880), 0.25);
}

TEST_F(PulseBackendTest, MixerSeparatesTheGameFromOtherPrograms) {
  pulse::PulseAudioSessions sessions;
  AudioMixer mixer(sessions, static_cast<AudioProcessId>(getpid()));
  const pid_t gamePid = Play(kTestSink, 440);
  const pid_t other = Play(kTestSink, 880);
  mixer.SetTargetProcess(static_cast<AudioProcessId>(gamePid), "paplay");
  ASSERT_TRUE(WaitFor([&] {
    mixer.RefreshSources();
    return mixer.Sources().size() == 1;
  }));
  EXPECT_EQ(mixer.Sources()[0].pid, AudioProcessId(other));
  EXPECT_TRUE(mixer.Sources()[0].capturing);

  // Blocks are zero-padded where a source had less, so the tones are measured block by block.
  std::vector<float> mix, game;
  int rate = 0, channels = 0;
  double game440 = 0, game880 = 0, mix440 = 0, mix880 = 0;
  size_t gameFrames = 0;
  WaitFor(
      [&] {
        EXPECT_TRUE(mixer.MixFrames(4800, mix, game, rate, channels));
        const std::vector<float> g = Channel0(game, 2), m = Channel0(mix, 2);
        gameFrames += g.size();
        game440 += BlockPower(g, 48000, 440);
        game880 += BlockPower(g, 48000, 880);
        mix440 += BlockPower(m, 48000, 440);
        mix880 += BlockPower(m, 48000, 880);
        return gameFrames > 48000;
      },
      7000ms);
  EXPECT_GT(gameFrames, 48000u);
  EXPECT_GT(game440, 1000 * game880);
  EXPECT_GT(mix880, 0.2 * mix440);
  EXPECT_GT(mix440, 0.2 * mix880);
}

// A program's stream ends while its capture runs: the stream is retired on the server's event
// thread, which must not take the lock it already holds (that aborted the whole program).
TEST_F(PulseBackendTest, AProgramsStreamThatEndsIsRetiredAndCaptureGoesOn) {
  pulse::PulseAudioSessions sessions;
  struct Case {
    const char* what;
    double seconds;
    bool killed;
  };
  for (const Case& c : {Case{"sonido corto que termina solo", 1.0, false},
                        Case{"programa terminado a la fuerza", 8.0, true}}) {
    SCOPED_TRACE(c.what);
    const pid_t player = testing::PlayTone(folder_, kTestSink, 440, c.seconds);
    ASSERT_GT(player, 0);
    auto owned = sessions.StartCapture("", {static_cast<AudioProcessId>(player), false, {}});
    auto* capture = static_cast<pulse::PulseProcessCapture*>(owned.get());
    EXPECT_TRUE(WaitFor([&] { return capture->StreamCount() == 1; }));
    if (c.killed) {
      testing::EndProcess(player);
    } else {
      EXPECT_TRUE(WaitFor([&] { return waitpid(player, nullptr, WNOHANG) == player; }));
    }
    EXPECT_TRUE(WaitFor([&] { return capture->StreamCount() == 0; }));
    EXPECT_TRUE(capture->Running());
  }
}

TEST_F(PulseBackendTest, MicrophoneQueuesItsInput) {
  pulse::PulseMicrophoneCapture microphone;
  ASSERT_TRUE(microphone.Open(""));
  ASSERT_TRUE(microphone.Start());
  EXPECT_TRUE(microphone.Start());  // already running
  Play(kTestMicLine, 440);
  std::vector<float> samples;
  AudioChunk chunk;
  int64_t firstCapture = 0;
  WaitFor(
      [&] {
        if (microphone.Read(chunk)) {
          if (firstCapture == 0) firstCapture = chunk.captureNs;
          samples.insert(samples.end(), chunk.samples.begin(), chunk.samples.end());
        }
        return Channel0(samples, microphone.Channels()).size() > 48000;
      },
      7000ms);
  EXPECT_GT(firstCapture, 0);
  EXPECT_LT(firstCapture, NowNs());
  const std::vector<float> mono = Channel0(samples, microphone.Channels());
  ASSERT_GT(mono.size(), 24000u);
  EXPECT_NEAR(ZeroCrossingHz(mono, microphone.SampleRate()), 440, 8);
  microphone.Stop();
  EXPECT_FALSE(microphone.Read(chunk));
}

TEST_F(PulseBackendTest, ServerDeathEndsStreamsWithAWarning) {
  log::Capture lines;
  pulse::PulseAudioSessions sessions;
  pulse::PulseLoopbackCapture loopback;
  pulse::PulseMicrophoneCapture microphone;
  ASSERT_TRUE(loopback.Open(""));
  ASSERT_TRUE(loopback.Start());
  ASSERT_TRUE(microphone.Open(""));
  ASSERT_TRUE(microphone.Start());
  const pid_t player = Play(kTestSink, 440);
  auto capture = sessions.StartCapture("", {static_cast<AudioProcessId>(player), false, {}});
  ASSERT_TRUE(capture->Running());

  server_.Kill();
  // Ended once nothing has come for a few seconds (CaptureHealth::kSilentLimitNs).
  EXPECT_TRUE(WaitFor([&] {
    return loopback.Ended() && microphone.Ended() && !capture->Running();
  }, 8000ms));
  EXPECT_TRUE(lines.Contains("[AUDIO] AVISO: la captura de audio de salida se interrumpio"));
  EXPECT_TRUE(lines.Contains("[AUDIO] AVISO: la captura de microfono se interrumpio"));
  EXPECT_TRUE(lines.Contains("[AUDIO] AVISO: la captura por aplicacion (PID"));
  std::vector<AudioChunk> chunks;
  loopback.Read(chunks);  // whatever came before: no crash
  std::vector<AudioSessionInfo> list;
  EXPECT_FALSE(sessions.List("", list));
  EXPECT_FALSE(loopback.Open(""));
  microphone.Stop();
  microphone.Close();
}

// The server restarts: the loopback, the microphone and a program's capture connect again on
// their own, report running again and deliver the new sound.
TEST_F(PulseBackendTest, ARestartedServerBringsEveryCaptureBack) {
  log::Capture lines;
  pulse::PulseAudioSessions sessions;
  pulse::PulseLoopbackCapture loopback;
  pulse::PulseMicrophoneCapture microphone;
  ASSERT_TRUE(loopback.Open(""));
  ASSERT_TRUE(loopback.Start());
  ASSERT_TRUE(microphone.Open(""));
  ASSERT_TRUE(microphone.Start());
  ASSERT_GT(Play(kTestSink, 440), 0);
  // Every program belongs to this capture's tree, so a program started after the restart is one.
  auto owned = sessions.StartCapture("", {1, true, [](AudioProcessId) { return true; }});
  auto* capture = static_cast<pulse::PulseProcessCapture*>(owned.get());
  ASSERT_TRUE(WaitFor([&] { return capture->StreamCount() == 1; }));

  std::string error;
  ASSERT_TRUE(server_.Restart(error)) << error;
  EXPECT_TRUE(WaitFor([&] {
    return lines.Contains("[AUDIO] La captura de audio de salida volvio tras") &&
           lines.Contains("[AUDIO] La captura de microfono volvio tras") &&
           lines.Contains("[AUDIO] La captura por aplicacion (PID 1) volvio tras");
  }, 10000ms));
  EXPECT_TRUE(lines.Contains("[AUDIO] AVISO: la captura de audio de salida se interrumpio"));
  EXPECT_FALSE(loopback.Ended());
  EXPECT_FALSE(microphone.Ended());
  EXPECT_TRUE(capture->Running());

  std::vector<AudioChunk> chunks;
  loopback.Read(chunks);  // what came before the restart
  chunks.clear();
  AudioChunk chunk;
  microphone.Read(chunk);
  std::vector<float> programSamples;
  capture->TakeQueued(programSamples);
  programSamples.clear();
  ASSERT_GT(Play(kTestSink, 880), 0);
  ASSERT_GT(Play(kTestMicLine, 1000), 0);
  std::vector<float> loopSamples, micSamples;
  WaitFor(
      [&] {
        loopback.Read(chunks);
        for (AudioChunk& c : chunks) {
          loopSamples.insert(loopSamples.end(), c.samples.begin(), c.samples.end());
        }
        chunks.clear();
        if (microphone.Read(chunk)) {
          micSamples.insert(micSamples.end(), chunk.samples.begin(), chunk.samples.end());
        }
        capture->TakeQueued(programSamples);
        return Channel0(loopSamples, 2).size() > 24000 &&
               Channel0(micSamples, microphone.Channels()).size() > 24000 &&
               Channel0(programSamples, 2).size() > 24000;
      },
      10000ms);
  const std::vector<float> loopMono = Channel0(loopSamples, 2);
  const std::vector<float> micMono = Channel0(micSamples, microphone.Channels());
  const std::vector<float> programMono = Channel0(programSamples, 2);
  ASSERT_GT(loopMono.size(), 24000u);
  ASSERT_GT(micMono.size(), 24000u);
  ASSERT_GT(programMono.size(), 24000u);
  EXPECT_NEAR(ZeroCrossingHz(loopMono, 48000), 880, 8);
  EXPECT_NEAR(ZeroCrossingHz(micMono, microphone.SampleRate()), 1000, 10);
  EXPECT_NEAR(ZeroCrossingHz(programMono, 48000), 880, 8);
  microphone.Stop();
  loopback.Stop();
}

}  // namespace
}  // namespace halvex
