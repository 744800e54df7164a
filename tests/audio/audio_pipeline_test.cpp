// The audio pipeline over fake captures and the real FFmpeg encoders: which tracks exist for which
// settings and devices, the warning lines, gap detection, the microphone's gain and mixing, and the
// time stamps packets carry.
#include "audio/audio_pipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <random>
#include <set>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "audio/volume_curve.h"
#include "core/clock.h"
#include "core/log.h"
#include "settings/profile_store.h"
#include "audio/fake_audio_sources.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
constexpr int64_t kMs = 1'000'000;
// Session start. The histories evict against the real monotonic clock, so stamps stay near it.
const int64_t kT0 = NowNs();
constexpr AudioProcessId kGamePid = 500;

// A device that opens unless told otherwise; ids other than "" or `known` are unknown devices.
struct FakeDevice {
  bool defaultMissing = false;
  std::string known = "real";
  int rate = 48000;
  int channels = 2;
  int startFailures = 0;
  bool open = false, started = false;
  bool ended = false;  // gone and quiet for a while
  int opens = 0;

  bool Open(const std::string& id) {
    ++opens;
    open = (id.empty() && !defaultMissing) || id == known;
    return open;
  }
  bool Start() {
    if (!open || startFailures > 0) {
      --startFailures;
      return false;
    }
    return started = true;
  }
};

class FakeLoopback final : public ILoopbackCapture {
 public:
  explicit FakeLoopback(FakeDevice& d) : d_(d) {}
  bool Open(const std::string& id) override { return d_.Open(id); }
  bool Start() override { return d_.Start(); }
  void Stop() override { d_.started = false; }
  void Close() override { d_.open = d_.started = false; }
  bool Read(std::vector<AudioChunk>& out) override {
    const bool any = !chunks.empty();
    for (auto& c : chunks) out.push_back(std::move(c));
    chunks.clear();
    return any;
  }
  int SampleRate() const override { return d_.rate; }
  int Channels() const override { return d_.channels; }
  bool Ended() const override { return d_.ended; }
  std::deque<AudioChunk> chunks;

 private:
  FakeDevice& d_;
};

class FakeMicrophone final : public IMicrophoneCapture {
 public:
  explicit FakeMicrophone(FakeDevice& d) : d_(d) {}
  bool Open(const std::string& id) override { return d_.Open(id); }
  bool Start() override { return d_.Start(); }
  void Stop() override { d_.started = false; }
  void Close() override { d_.open = d_.started = false; }
  bool Read(AudioChunk& out) override {
    if (chunks.empty()) return false;
    out = std::move(chunks.front());
    chunks.pop_front();
    return true;
  }
  int SampleRate() const override { return d_.rate; }
  int Channels() const override { return d_.channels; }
  bool Ended() const override { return d_.ended; }
  std::deque<AudioChunk> chunks;

 private:
  FakeDevice& d_;
};

// `frames` frames of a sine (every channel alike) continuing from sample `start`.
std::vector<float> Sine(double hz, double amplitude, int rate, int channels, int64_t start,
                        int frames) {
  std::vector<float> out;
  for (int i = 0; i < frames; ++i) {
    const float v =
        static_cast<float>(amplitude * std::sin(2 * M_PI * hz * double(start + i) / rate));
    for (int c = 0; c < channels; ++c) out.push_back(v);
  }
  return out;
}

// First channel of the decoded packets.
std::vector<float> Decode(const AudioStreamParams& params, const std::vector<EncodedPacket>& in) {
  std::vector<float> out;
  const AVCodec* codec = avcodec_find_decoder(static_cast<AVCodecID>(params.codecId));
  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  ctx->sample_rate = params.sampleRate;
  av_channel_layout_default(&ctx->ch_layout, params.channels);
  ctx->extradata = static_cast<uint8_t*>(
      av_mallocz(params.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::copy(params.extradata.begin(), params.extradata.end(), ctx->extradata);
  ctx->extradata_size = static_cast<int>(params.extradata.size());
  EXPECT_EQ(avcodec_open2(ctx, codec, nullptr), 0);
  AVPacket* pkt = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  for (const EncodedPacket& p : in) {
    av_new_packet(pkt, static_cast<int>(p.size()));
    std::copy(p.data(), p.data() + p.size(), pkt->data);
    avcodec_send_packet(ctx, pkt);
    av_packet_unref(pkt);
    while (avcodec_receive_frame(ctx, frame) == 0) {
      EXPECT_EQ(frame->format, AV_SAMPLE_FMT_FLTP);
      const float* s = reinterpret_cast<const float*>(frame->data[0]);
      out.insert(out.end(), s, s + frame->nb_samples);
    }
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  return out;
}

double Rms(const std::vector<float>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(to - from));
}

// Amplitude of one frequency (single-bin DFT).
double ToneAmplitude(const std::vector<float>& s, size_t from, size_t to, double hz, int rate) {
  double re = 0, im = 0;
  for (size_t i = from; i < to; ++i) {
    re += s[i] * std::cos(2 * M_PI * hz * double(i) / rate);
    im -= s[i] * std::sin(2 * M_PI * hz * double(i) / rate);
  }
  return 2 * std::hypot(re, im) / double(to - from);
}

class AudioPipelineTest : public ::testing::Test {
 protected:
  AudioPipelineTest() {
    std::random_device rd;
    folder_ = fs::temp_directory_path() / ("halvex-audio-pipeline-" + std::to_string(rd()));
    fs::create_directories(folder_);
    store_ = settings::OpenProfileStore(folder_ / "Halvex.ini");
    sessions_.Add(kGamePid, "juego");
  }
  ~AudioPipelineTest() override {
    pipeline_.reset();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  void Open(const PlatformCapabilities& capabilities = {}) {
    AudioPipelineParts parts;
    auto loop = std::make_unique<FakeLoopback>(loopDevice_);
    auto mic = std::make_unique<FakeMicrophone>(micDevice_);
    loop_ = loop.get();
    mic_ = mic.get();
    parts.loopback = std::move(loop);
    parts.microphone = std::move(mic);
    parts.sessions = &sessions_;
    parts.now = [this] { return now_; };
    pipeline_ = std::make_unique<AudioPipeline>(std::move(parts));
    pipeline_->Open(*store_, quality_, capabilities);
  }

  void StartSession(int64_t at = kT0) {
    pipeline_->StartSession(kGamePid, "juego", at);
    desktopPos_ = micPos_ = 0;
  }

  // `ms` of sound in 10 ms chunks from `startNs`, one pump per chunk: desktop `desktopHz`,
  // microphone `micHz` (0: silence).
  void Play(int64_t startNs, int ms, double desktopHz = 440, double micHz = 1000,
            double micAmplitude = 0.5) {
    for (int i = 0; i < ms / 10; ++i) {
      const int64_t t = startNs + i * 10 * kMs;
      const int lf = loopDevice_.rate / 100, mf = micDevice_.rate / 100;
      loop_->chunks.push_back({Sine(desktopHz, desktopHz > 0 ? 0.3 : 0, loopDevice_.rate,
                                    loopDevice_.channels, desktopPos_, lf), t});
      mic_->chunks.push_back(
          {Sine(micHz, micAmplitude, micDevice_.rate, micDevice_.channels, micPos_, mf), t});
      desktopPos_ += lf;
      micPos_ += mf;
      if (auto game = sessions_.Capture(kGamePid)) sessions_.Feed(kGamePid, 480, 0.1f);
      now_ = t + 10 * kMs;
      pipeline_->Pump(histories_);
    }
  }

  std::vector<EncodedPacket> Packets(AudioSource source) const {
    return histories_.Of(source).SnapshotFrom(0);
  }

  fs::path folder_;
  std::unique_ptr<settings::ProfileStore> store_;
  settings::AudioQualitySettings quality_;
  testing::FakeAudioSessions sessions_;
  FakeDevice loopDevice_, micDevice_;
  FakeLoopback* loop_ = nullptr;
  FakeMicrophone* mic_ = nullptr;
  std::unique_ptr<AudioPipeline> pipeline_;
  AudioHistories histories_{60};
  log::Capture logs_;
  int64_t now_ = kT0;
  int64_t desktopPos_ = 0, micPos_ = 0;
};

TEST_F(AudioPipelineTest, EveryDeviceAndEncoderGivesTheFullTrackSet) {
  Open();
  const AudioSummary summary = pipeline_->Summary();
  EXPECT_TRUE(summary.desktop && summary.microphone && summary.mix);
  StartSession();
  Play(kT0, 1000);

  const TrackChoice choice = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(choice.hasMain);
  EXPECT_EQ(choice.mainSource, AudioSource::AppMix);
  EXPECT_TRUE(choice.hasMic);
  EXPECT_TRUE(choice.hasGame);
  for (AudioSource s : {AudioSource::Desktop, AudioSource::Microphone, AudioSource::Game,
                        AudioSource::Mix, AudioSource::AppMix}) {
    EXPECT_FALSE(Packets(s).empty()) << static_cast<int>(s);
    EXPECT_FALSE(pipeline_->StreamParams(s).empty()) << static_cast<int>(s);
  }
  const AudioCounters counters = pipeline_->Counters();
  EXPECT_EQ(counters.desktop, Packets(AudioSource::Desktop).size());
  EXPECT_EQ(counters.microphone, Packets(AudioSource::Microphone).size());
  EXPECT_EQ(counters.mix, Packets(AudioSource::Mix).size());
  EXPECT_FALSE(logs_.Contains("AVISO"));
}

// A capture whose sound server went away stops counting as running, so a press makes the clip
// without its tracks instead of waiting for packets that cannot come; it counts again once back.
TEST_F(AudioPipelineTest, ACaptureThatEndedLeavesItsTracksOutUntilItIsBack) {
  Open();
  StartSession();
  Play(kT0, 500);
  struct Case {
    bool desktopEnded, micEnded;
    bool hasMain, hasGame, hasMic;
  };
  for (const Case& c : {Case{false, false, true, true, true}, Case{true, false, false, false, true},
                        Case{false, true, true, true, false}, Case{true, true, false, false, false},
                        Case{false, false, true, true, true}}) {
    SCOPED_TRACE(::testing::Message() << "desktop ended " << c.desktopEnded << ", mic ended "
                                      << c.micEnded);
    loopDevice_.ended = c.desktopEnded;
    micDevice_.ended = c.micEnded;
    const AudioState state = pipeline_->State();
    EXPECT_EQ(state.desktopLost, c.desktopEnded);
    EXPECT_EQ(state.micLost, c.micEnded);
    const TrackChoice choice = ChooseTracks(state);
    EXPECT_EQ(choice.hasMain, c.hasMain);
    EXPECT_EQ(choice.mainExpected, c.hasMain);
    EXPECT_EQ(choice.hasGame, c.hasGame);
    EXPECT_EQ(choice.hasMic, c.hasMic);
  }
}

TEST_F(AudioPipelineTest, Windows10ModeHasNoPerProcessTracks) {
  Open(WindowsCapabilities(19045));
  EXPECT_TRUE(logs_.Contains(
      "[AUDIO-W10] Windows 10 usa el loopback del dispositivo para la mezcla principal + "
      "microfono. No se crea una pista de juego aislada porque el loopback por proceso no esta "
      "disponible en W10."));
  StartSession();
  Play(kT0, 500);
  AudioState state = pipeline_->State();
  state.gameOnlyTrack = false;
  const TrackChoice choice = ChooseTracks(state);
  EXPECT_EQ(choice.mainSource, AudioSource::Mix);
  EXPECT_FALSE(choice.hasGame);
  EXPECT_TRUE(Packets(AudioSource::Game).empty());
  EXPECT_TRUE(Packets(AudioSource::AppMix).empty());
  EXPECT_FALSE(Packets(AudioSource::Mix).empty());
}

TEST_F(AudioPipelineTest, WithoutEditorChannelsTheMicrophoneOnlyFeedsTheMix) {
  quality_.editorTracks = false;
  Open();
  StartSession();
  Play(kT0, 500);
  const TrackChoice choice = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(choice.hasMain);
  EXPECT_FALSE(choice.hasMic);
  EXPECT_FALSE(choice.hasGame);
  EXPECT_TRUE(Packets(AudioSource::Microphone).empty());
  EXPECT_EQ(pipeline_->Counters().microphone, 0u);
  EXPECT_FALSE(Packets(AudioSource::AppMix).empty());
}

TEST_F(AudioPipelineTest, MissingMicrophoneRemovesOnlyItsTrack) {
  micDevice_.defaultMissing = true;
  Open();
  EXPECT_TRUE(logs_.Contains(
      "AVISO: no se pudo inicializar la captura del microfono (WASAPI) - esa pista no va a "
      "estar en el clip."));
  const AudioSummary summary = pipeline_->Summary();
  EXPECT_TRUE(summary.desktop);
  EXPECT_FALSE(summary.microphone);
  EXPECT_FALSE(summary.mix);
  StartSession();
  Play(kT0, 500);
  const TrackChoice choice = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(choice.hasMain);
  EXPECT_EQ(choice.mainSource, AudioSource::AppMix);
  EXPECT_FALSE(choice.hasMic);
  EXPECT_TRUE(choice.hasGame);
  EXPECT_FALSE(Packets(AudioSource::AppMix).empty());
  EXPECT_TRUE(Packets(AudioSource::Microphone).empty());
  EXPECT_FALSE(logs_.Contains("[AUDIO] AVISO"));
}

TEST_F(AudioPipelineTest, SavedDevicesThatAreGoneFallBackToTheDefaults) {
  ASSERT_TRUE(settings::WriteRenderDeviceId("salida-vieja", *store_));
  ASSERT_TRUE(settings::WriteMicrophoneDeviceId("micro-viejo", *store_));
  Open();
  EXPECT_TRUE(logs_.Contains(
      "AVISO: el dispositivo de audio guardado ya no esta disponible; se usara el "
      "predeterminado."));
  EXPECT_TRUE(logs_.Contains(
      "AVISO: el dispositivo de micrófono guardado ya no está disponible; se usará el "
      "predeterminado."));
  EXPECT_EQ(settings::ReadRenderDeviceId(*store_), "");
  EXPECT_EQ(settings::ReadMicrophoneDeviceId(*store_), "");
  EXPECT_TRUE(pipeline_->Summary().desktop && pipeline_->Summary().microphone);
}

TEST_F(AudioPipelineTest, DesktopEncoderFailureDropsDesktopAndEverythingBuiltOnIt) {
  quality_.format = AudioFormat::Opus;  // at most two channels
  loopDevice_.channels = 6;
  micDevice_.channels = 1;
  Open();
  EXPECT_TRUE(logs_.Contains(
      "AVISO: no se pudo inicializar el encoder AAC (juego) - esa pista no va a estar en el "
      "clip."));
  EXPECT_FALSE(loopDevice_.open);
  const AudioSummary summary = pipeline_->Summary();
  EXPECT_FALSE(summary.desktop);
  EXPECT_TRUE(summary.microphone);
  EXPECT_FALSE(summary.mix);
  StartSession();
  EXPECT_FALSE(ChooseTracks(pipeline_->State()).hasMain);
}

TEST_F(AudioPipelineTest, FailedStartsAreRetriedOnceWithTheirLines) {
  Open();
  loopDevice_.startFailures = 1;
  micDevice_.startFailures = 2;
  StartSession();
  EXPECT_TRUE(logs_.Contains(
      "[AUDIO] AVISO: no se pudo iniciar el loopback; reabriendo el endpoint para reintentar..."));
  EXPECT_FALSE(logs_.Contains("el video seguira funcionando sin audio global"));
  EXPECT_TRUE(logs_.Contains(
      "[AUDIO] AVISO: no se pudo iniciar el microfono en esta sesion; la pista de micro se "
      "omitira sin bloquear F8."));
  const AudioState state = pipeline_->State();
  EXPECT_TRUE(state.desktopRunning);
  EXPECT_FALSE(state.micStarted);
  EXPECT_FALSE(ChooseTracks(state).hasMic);
}

TEST_F(AudioPipelineTest, GapsLongerThanTheContinuityWindowAreLogged) {
  Open();
  StartSession();
  Play(kT0, 200);
  // 60 ms late: jitter, taken as continuous.
  Play(kT0 + 260 * kMs, 100);
  EXPECT_FALSE(logs_.Contains("hueco"));
  // The next chunk was expected at 300 ms of audio after T0 and arrives 350 ms later.
  Play(kT0 + 650 * kMs, 100);
  EXPECT_TRUE(logs_.Contains(
      "[AUDIO-TIMING] hueco de captura detectado: 350 ms; se conserva en el timeline del clip."));
  EXPECT_TRUE(logs_.Contains(
      "[AUDIO-TIMING] hueco de microfono detectado: 350 ms; se conserva en el timeline del "
      "clip."));
}

TEST_F(AudioPipelineTest, HolesInCaptureBecomeSilenceOfTheirLength) {
  Open();
  StartSession();
  Play(kT0, 1000);
  const int64_t gapNs = 500 * kMs;
  Play(kT0 + 1000 * kMs + gapNs, 1000);

  const std::vector<EncodedPacket> packets = Packets(AudioSource::Desktop);
  ASSERT_GT(packets.size(), 80u);
  const double frameNs = 1024 * 1e9 / 48000;
  // The first packet starts with the encoder's priming, just before the first sample.
  EXPECT_LE(packets.front().timestampNs, kT0);
  EXPECT_GE(packets.front().timestampNs, kT0 - int64_t(frameNs) - 1);
  // Stamps run on without a jump: the hole is in the sound, as silence.
  for (size_t i = 1; i < packets.size(); ++i) {
    const double step = double(packets[i].timestampNs - packets[i - 1].timestampNs);
    ASSERT_NEAR(step, frameNs, 1000) << "packet " << i;
  }
  const std::vector<float> sound = Decode(pipeline_->StreamParams(AudioSource::Desktop), packets);
  // Decoded sample n was captured at about T0 + n / 48 kHz (after the 1024 priming samples).
  auto at = [&](int ms) { return size_t(1024 + ms * 48); };
  ASSERT_GT(sound.size(), at(2450));
  EXPECT_GT(Rms(sound, at(100), at(900)), 0.15);
  EXPECT_LT(Rms(sound, at(1050), at(1450)), 0.01);
  EXPECT_GT(Rms(sound, at(1600), at(2400)), 0.15);

  // A later session starts its stamps at its own first chunk, although the encoder kept counting.
  pipeline_->EndSession();
  histories_.desktop.Clear();
  const int64_t t1 = kT0 + 60'000 * kMs;
  StartSession(t1);
  Play(t1, 500);
  const std::vector<EncodedPacket> later = Packets(AudioSource::Desktop);
  ASSERT_FALSE(later.empty());
  EXPECT_GE(later.back().timestampNs, t1);
  EXPECT_LE(later.back().timestampNs, t1 + 500 * kMs);
  // Packets still leaving the codec from the old session never land inside the new one.
  for (const EncodedPacket& p : later) EXPECT_LT(p.timestampNs, t1 + 500 * kMs);
}

TEST_F(AudioPipelineTest, MicrophoneGainScalesItsTrackAndItsShareOfTheMix) {
  ASSERT_TRUE(settings::WriteMixerLevel(settings::kMicrophoneMixerId, 0.5f, *store_));
  micDevice_.channels = 1;
  Open();
  StartSession();
  Play(kT0, 2000, /*desktopHz=*/0);
  const double expected = 0.5 * VolumeToGain(0.5f) / std::sqrt(2.0);  // about -12 dB

  const std::vector<float> mic =
      Decode(pipeline_->StreamParams(AudioSource::Microphone), Packets(AudioSource::Microphone));
  ASSERT_GT(mic.size(), 48000u * 3 / 2);
  EXPECT_NEAR(Rms(mic, 24000, 72000), expected, expected * 0.05);
  // With a silent desktop the desktop mix is the microphone alone.
  const std::vector<float> mix =
      Decode(pipeline_->StreamParams(AudioSource::Mix), Packets(AudioSource::Mix));
  ASSERT_GT(mix.size(), 48000u * 3 / 2);
  EXPECT_NEAR(Rms(mix, 24000, 72000), expected, expected * 0.05);
}

TEST_F(AudioPipelineTest, MicrophoneAtAnotherRateIsResampledIntoTheMixes) {
  micDevice_.rate = 44100;
  micDevice_.channels = 1;
  Open();
  StartSession();
  Play(kT0, 2000, /*desktopHz=*/440, /*micHz=*/1000);
  for (AudioSource s : {AudioSource::Mix, AudioSource::AppMix}) {
    const std::vector<float> out = Decode(pipeline_->StreamParams(s), Packets(s));
    ASSERT_GT(out.size(), 48000u * 3 / 2);
    // Taken unconverted, 44.1 kHz samples played at 48 kHz would sound at 1088 Hz.
    const double at1000 = ToneAmplitude(out, 24000, 72000, 1000, 48000);
    const double at1088 = ToneAmplitude(out, 24000, 72000, 1088, 48000);
    EXPECT_GT(at1000, 0.3) << static_cast<int>(s);
    EXPECT_LT(at1088, at1000 * 0.05) << static_cast<int>(s);
  }
}

// A program's capture that starts late and hands its sound over 40 ms after the desktop's: a
// 1000 Hz burst it played at 500 ms must land in the main track on top of the same burst in the
// microphone (twice the amplitude), not beside it.
TEST_F(AudioPipelineTest, LateProgramSoundLinesUpWithTheMicrophoneInTheMainTrack) {
  Open();
  StartSession();
  auto burst = [](int64_t fromFrame, int frames, int channels) {
    std::vector<float> out = Sine(1000, 0.3, 48000, channels, fromFrame, frames);
    for (int i = 0; i < frames; ++i) {
      const int64_t f = fromFrame + i;
      if (f < 24000 || f >= 24000 + 480) {
        for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i) * channels + c] = 0;
      }
    }
    return out;
  };
  ASSERT_NE(sessions_.Capture(kGamePid), nullptr);
  for (int i = 0; i < 100; ++i) {
    const int64_t t = kT0 + i * 10 * kMs;
    loop_->chunks.push_back({std::vector<float>(960, 0.0f), t});
    mic_->chunks.push_back({burst(i * 480LL, 480, 2), t});
    if (i >= 20) {  // the program's first 160 ms never came; the rest comes 40 ms late
      const std::vector<float> game = burst((i - 4) * 480LL, 480, 2);
      sessions_.Capture(kGamePid)->queue.Append(game.data(), game.size(), t - 30 * kMs);
    }
    now_ = t + 10 * kMs;
    pipeline_->Pump(histories_);
  }
  pipeline_->Flush(histories_);
  const std::vector<float> main =
      Decode(pipeline_->StreamParams(AudioSource::AppMix), Packets(AudioSource::AppMix));
  ASSERT_GT(main.size(), 40000u);
  float peak = 0;
  for (float v : main) peak = std::max(peak, std::fabs(v));
  EXPECT_NEAR(peak, 0.6f, 0.06f);
  // The game-only track keeps the program's sound at its own time too: one burst.
  const std::vector<float> game =
      Decode(pipeline_->StreamParams(AudioSource::Game), Packets(AudioSource::Game));
  float gamePeak = 0;
  for (float v : game) gamePeak = std::max(gamePeak, std::fabs(v));
  EXPECT_NEAR(gamePeak, 0.3f, 0.04f);
}

// The delay of a capture grew by 40 ms for good (a sound server that re-buffered): the track
// takes 40 ms of silence once, so what follows sits at its own time again.
TEST_F(AudioPipelineTest, ALastingLongerDelayIsCorrectedOnce) {
  Open();
  StartSession();
  Play(kT0, 1000);
  Play(kT0 + 1040 * kMs, 2000);
  const std::vector<EncodedPacket> packets = Packets(AudioSource::Desktop);
  const double frameNs = 1024 * 1e9 / 48000;
  // Stamps stay continuous; the sample count now covers 40 ms more than was captured.
  for (size_t i = 1; i < packets.size(); ++i) {
    ASSERT_NEAR(double(packets[i].timestampNs - packets[i - 1].timestampNs), frameNs, 1000);
  }
  const int64_t lastStamp = packets.back().timestampNs;
  const int64_t covered = int64_t(packets.size() - 1) * int64_t(frameNs);
  EXPECT_NEAR(double(lastStamp - packets.front().timestampNs), double(covered), 1e6);
  const std::vector<float> sound = Decode(pipeline_->StreamParams(AudioSource::Desktop), packets);
  // 1000 + 40 + 2000 ms in the track, less the partly filled frames still in the encoder (the
  // same run without the longer delay decodes to 2968 ms).
  EXPECT_NEAR(double(sound.size()) / 48.0, 3020, 20);
  EXPECT_FALSE(logs_.Contains("hueco"));
}

}  // namespace
}  // namespace halvex
