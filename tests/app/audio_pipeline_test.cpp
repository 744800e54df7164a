#include "app/audio_pipeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <set>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "../audio/fake_audio_sources.h"
#include "audio/volume_curve.h"
#include "core/clock.h"
#include "core/log.h"
#include "settings/audio_settings.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
constexpr ProcessId kGame = 500;
constexpr int64_t kMs = 1'000'000;

class FakeLoopback final : public ILoopbackCapture {
 public:
  std::set<std::string> devices{""};
  int rate = 48000, channels = 2;
  std::vector<AudioChunk> queued;
  bool Open(const std::string& id) override { return devices.count(id) != 0; }
  bool Start() override { return true; }
  void Stop() override {}
  void Close() override {}
  bool Read(std::vector<AudioChunk>& out) override {
    const bool any = !queued.empty();
    for (AudioChunk& c : queued) out.push_back(std::move(c));
    queued.clear();
    return any;
  }
  int SampleRate() const override { return rate; }
  int Channels() const override { return channels; }
  bool Ended() const override { return false; }
};

class FakeMicrophone final : public IMicrophoneCapture {
 public:
  std::set<std::string> devices{""};
  int rate = 48000, channels = 1;
  AudioChunk queued;
  bool Open(const std::string& id) override { return devices.count(id) != 0; }
  bool Start() override { return true; }
  void Stop() override {}
  void Close() override {}
  bool Read(AudioChunk& chunk) override {
    if (queued.samples.empty()) return false;
    chunk = std::move(queued);
    queued = {};
    return true;
  }
  int SampleRate() const override { return rate; }
  int Channels() const override { return channels; }
  bool Ended() const override { return false; }
};

// Every sample of a lossless track, decoded back to float (first channel only).
std::vector<float> DecodeFirstChannel(const AudioStreamParams& params,
                                      const std::vector<EncodedPacket>& packets) {
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
  for (const EncodedPacket& p : packets) {
    av_new_packet(pkt, static_cast<int>(p.size()));
    std::copy(p.data(), p.data() + p.size(), pkt->data);
    if (avcodec_send_packet(ctx, pkt) == 0) {
      while (avcodec_receive_frame(ctx, frame) == 0) {
        for (int i = 0; i < frame->nb_samples; ++i) {
          switch (frame->format) {
            case AV_SAMPLE_FMT_S16P:
              out.push_back(reinterpret_cast<int16_t*>(frame->data[0])[i] / 32768.0f);
              break;
            case AV_SAMPLE_FMT_S32P:
              out.push_back(static_cast<float>(reinterpret_cast<int32_t*>(frame->data[0])[i] /
                                               2147483648.0));
              break;
            default:
              ADD_FAILURE() << "unexpected decoded format " << frame->format;
              return out;
          }
        }
      }
    }
    av_packet_unref(pkt);
  }
  av_frame_free(&frame);
  av_packet_free(&pkt);
  avcodec_free_context(&ctx);
  return out;
}

class AudioPipelineTest : public ::testing::Test {
 protected:
  AudioPipelineTest() : histories_(60) {
    std::random_device rd;
    folder_ = fs::temp_directory_path() / ("halvex-audio-pipeline-" + std::to_string(rd()));
    fs::create_directories(folder_);
    store_ = settings::OpenProfileStore(folder_ / "Halvex.ini");
  }
  ~AudioPipelineTest() override {
    pipeline_.reset();
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  void Make() {
    auto loop = std::make_unique<FakeLoopback>();
    auto mic = std::make_unique<FakeMicrophone>();
    loopback_ = loop.get();
    microphone_ = mic.get();
    AudioPipelineParts parts;
    parts.loopback = std::move(loop);
    parts.microphone = std::move(mic);
    parts.sessions = &sessions_;
    parts.ownPid = 10;
    parts.now = [this] { return kT0; };
    pipeline_ = std::make_unique<AudioPipeline>(std::move(parts));
  }

  void OpenAndStart(bool windows10 = false) {
    pipeline_->Open(*store_, settings::ReadAudioQualitySettings(*store_), windows10);
    pipeline_->StartSession(kGame, "juego", kT0);
  }

  void QueueDesktop(int64_t captureNs, int frames, float value = 0.1f) {
    loopback_->queued.push_back({std::vector<float>(static_cast<size_t>(frames) * 2, value),
                                 captureNs});
  }

  // Histories drop what is older than their capacity on the real clock.
  const int64_t kT0 = NowNs();
  fs::path folder_;
  std::unique_ptr<settings::ProfileStore> store_;
  testing::FakeAudioSessions sessions_;
  FakeLoopback* loopback_ = nullptr;
  FakeMicrophone* microphone_ = nullptr;
  std::unique_ptr<AudioPipeline> pipeline_;
  AudioHistories histories_;
};

TEST_F(AudioPipelineTest, TrackSetFollowsModeAndEditorChannels) {
  log::Capture logs;
  Make();
  OpenAndStart(false);
  TrackChoice c = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(c.hasMain);
  EXPECT_EQ(c.mainSource, AudioSource::AppMix);
  EXPECT_TRUE(c.hasMic);
  EXPECT_TRUE(c.hasGame);
  for (AudioSource s : {AudioSource::AppMix, AudioSource::Mix, AudioSource::Desktop,
                        AudioSource::Microphone, AudioSource::Game}) {
    EXPECT_FALSE(pipeline_->StreamParams(s).empty());
  }
  const AudioSummary summary = pipeline_->Summary();
  EXPECT_TRUE(summary.desktop && summary.microphone && summary.mix);

  // Windows 10: no per-process sound, the desktop mix is the main track.
  Make();
  OpenAndStart(true);
  c = ChooseTracks(pipeline_->State());
  EXPECT_EQ(c.mainSource, AudioSource::Mix);
  EXPECT_FALSE(c.hasGame);
  EXPECT_TRUE(pipeline_->StreamParams(AudioSource::Game).empty());
  EXPECT_TRUE(pipeline_->StreamParams(AudioSource::AppMix).empty());
  EXPECT_TRUE(logs.Contains("[AUDIO-W10] Windows 10 usa el loopback del dispositivo"));

  // Without editor channels only the main track is left.
  settings::AudioQualitySettings q;
  q.editorTracks = false;
  ASSERT_TRUE(settings::WriteAudioQualitySettings(q, *store_));
  Make();
  OpenAndStart(false);
  c = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(c.hasMain);
  EXPECT_FALSE(c.hasMic);
  EXPECT_FALSE(c.hasGame);
}

TEST_F(AudioPipelineTest, MissingMicrophoneRemovesOnlyItsTrack) {
  ASSERT_TRUE(settings::WriteMicrophoneDeviceId("usb-mic", *store_));
  log::Capture logs;
  Make();
  microphone_->devices.clear();
  OpenAndStart(false);
  EXPECT_TRUE(logs.Contains("AVISO: el dispositivo de micrófono guardado ya no está disponible; "
                            "se usará el predeterminado."));
  EXPECT_TRUE(logs.Contains("AVISO: no se pudo inicializar la captura del microfono (WASAPI) - "
                            "esa pista no va a estar en el clip."));
  EXPECT_FALSE(logs.Contains("(juego)"));
  EXPECT_EQ(settings::ReadMicrophoneDeviceId(*store_), "");
  const TrackChoice c = ChooseTracks(pipeline_->State());
  EXPECT_TRUE(c.hasMain);
  EXPECT_TRUE(c.hasGame);
  EXPECT_FALSE(c.hasMic);
  EXPECT_FALSE(pipeline_->Summary().mix);

  // The desktop still records.
  for (int i = 0; i < 10; ++i) QueueDesktop(kT0 + i * 10 * kMs, 480);
  pipeline_->Pump(histories_);
  EXPECT_GT(pipeline_->Counters().desktop, 0u);
  EXPECT_GT(histories_.appMix.Size(), 0u);
  EXPECT_EQ(histories_.microphone.Size(), 0u);
}

TEST_F(AudioPipelineTest, PacketsCarryTimelineTimesAndGapsKeepTheirLength) {
  log::Capture logs;
  Make();
  OpenAndStart(false);
  // Ten 10 ms chunks with a few ms of scheduling jitter, then a 300 ms hole, then ten more.
  const int64_t jitter[] = {0, 3, -2, 4, 1, -3, 2, 0, 5, -1};
  for (int i = 0; i < 10; ++i) QueueDesktop(kT0 + (i * 10 + jitter[i]) * kMs, 480);
  const int64_t resume = kT0 + 100 * kMs + 300 * kMs;
  for (int i = 0; i < 10; ++i) QueueDesktop(resume + i * 10 * kMs, 480);
  pipeline_->Pump(histories_);

  EXPECT_EQ(logs.Count("[AUDIO-TIMING] hueco de captura detectado: 300 ms; se conserva en el "
                       "timeline del clip."),
            1u);
  const std::vector<EncodedPacket> packets = histories_.desktop.SnapshotFrom(0);
  ASSERT_GE(packets.size(), 6u);
  // The encoder numbers samples from the first one it was given; priming comes before it.
  int64_t position = -1024;
  for (const EncodedPacket& p : packets) {
    const int64_t expected = position < 4800 ? kT0 + position * 1'000'000'000 / 48000
                                             : resume + (position - 4800) * 1'000'000'000 / 48000;
    EXPECT_NEAR(p.timestampNs, expected, 1) << "packet at sample " << position;
    position += p.sampleCount;
  }
}

TEST_F(AudioPipelineTest, MicrophoneGainAppliesToItsTrackAndTheMainMix) {
  settings::AudioQualitySettings q;
  q.format = AudioFormat::Alac;  // lossless, so levels can be read back exactly
  ASSERT_TRUE(settings::WriteAudioQualitySettings(q, *store_));
  ASSERT_TRUE(settings::WriteMixerLevel(settings::kMicrophoneMixerId, 0.5f, *store_));
  Make();
  OpenAndStart(false);
  const float gain = VolumeToGain(0.5f);
  ASSERT_LT(gain, 0.3f);

  constexpr int kFrames = 3 * 4096;
  microphone_->queued = {std::vector<float>(kFrames, 0.5f), kT0};
  QueueDesktop(kT0, kFrames, 0.0f);
  sessions_.Feed(static_cast<AudioProcessId>(kGame), kFrames, 0.2f);
  pipeline_->Pump(histories_);

  const std::vector<float> mic = DecodeFirstChannel(
      pipeline_->StreamParams(AudioSource::Microphone), histories_.microphone.SnapshotFrom(0));
  ASSERT_GE(mic.size(), 4096u);
  EXPECT_NEAR(mic[100], 0.5f * gain, 1e-3);

  // The main track (the application mix) carries the game and the microphone at its level.
  const std::vector<float> main = DecodeFirstChannel(
      pipeline_->StreamParams(AudioSource::AppMix), histories_.appMix.SnapshotFrom(0));
  ASSERT_GE(main.size(), 4096u);
  EXPECT_NEAR(main[100], 0.2f + 0.5f * gain, 1e-3);
  const std::vector<float> game = DecodeFirstChannel(
      pipeline_->StreamParams(AudioSource::Game), histories_.game.SnapshotFrom(0));
  ASSERT_GE(game.size(), 4096u);
  EXPECT_NEAR(game[100], 0.2f, 1e-3);
}

}  // namespace
}  // namespace halvex
