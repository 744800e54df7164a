// The audio encoders against the real FFmpeg encoders and decoders.
#include "audio/audio_encoder.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/ffmpeg_handles.h"
#include "core/log.h"

namespace halvex {
namespace {

constexpr double kPi = 3.14159265358979323846;
const int kQuietFfmpeg = (av_log_set_level(AV_LOG_ERROR), 0);

std::vector<float> Tone(int rate, int channels, int frames, double hz, int offset = 0) {
  std::vector<float> s(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      s[static_cast<size_t>(i) * channels + c] =
          0.5f * static_cast<float>(std::sin(2 * kPi * hz * (i + offset) / rate)) * (c ? -1 : 1);
  return s;
}

// Decodes the packets with FFmpeg's decoder for the stream and returns interleaved floats.
std::vector<float> Decode(const AudioStreamParams& p, const std::vector<EncodedAudioPacket>& packets) {
  std::vector<float> out;
  const AVCodec* dec = avcodec_find_decoder(static_cast<AVCodecID>(p.codecId));
  if (!dec) return out;
  ff::CodecContextPtr c(avcodec_alloc_context3(dec));
  c->sample_rate = p.sampleRate;
  av_channel_layout_default(&c->ch_layout, p.channels);
  if (!p.extradata.empty()) {
    c->extradata = static_cast<uint8_t*>(av_mallocz(p.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy(p.extradata.begin(), p.extradata.end(), c->extradata);
    c->extradata_size = static_cast<int>(p.extradata.size());
  }
  if (avcodec_open2(c.get(), dec, nullptr) < 0) return out;
  ff::PacketPtr pkt(av_packet_alloc());
  ff::FramePtr f(av_frame_alloc());
  auto take = [&] {
    while (avcodec_receive_frame(c.get(), f.get()) == 0) {
      for (int i = 0; i < f->nb_samples; ++i)
        for (int ch = 0; ch < p.channels; ++ch) {
          const auto fmt = static_cast<AVSampleFormat>(f->format);
          const bool planar = av_sample_fmt_is_planar(fmt);
          const int idx = planar ? i : i * p.channels + ch;
          const uint8_t* base = f->extended_data[planar ? ch : 0];
          float v = 0;
          switch (av_get_packed_sample_fmt(fmt)) {
            case AV_SAMPLE_FMT_FLT: v = reinterpret_cast<const float*>(base)[idx]; break;
            case AV_SAMPLE_FMT_S16: v = reinterpret_cast<const int16_t*>(base)[idx] / 32768.0f; break;
            case AV_SAMPLE_FMT_S32: v = static_cast<float>(reinterpret_cast<const int32_t*>(base)[idx] / 2147483648.0); break;
            default: break;
          }
          out.push_back(v);
        }
      av_frame_unref(f.get());
    }
  };
  for (const auto& e : packets) {
    av_new_packet(pkt.get(), static_cast<int>(e.bytes.size()));
    std::copy(e.bytes.begin(), e.bytes.end(), pkt->data);
    if (avcodec_send_packet(c.get(), pkt.get()) < 0) return {};
    av_packet_unref(pkt.get());
    take();
  }
  avcodec_send_packet(c.get(), nullptr);
  take();
  return out;
}

TEST(AudioEncoder, RefusesWhatTheTableDoesNotListWithoutAMessage) {
  log::Capture capture;
  AacEncoder e;
  EXPECT_FALSE(e.Initialize(32000, 2, 32000, 192, AudioFormat::AacLc));
  EXPECT_FALSE(e.Initialize(48000, 2, 48000, 96, AudioFormat::AacLc));
  EXPECT_FALSE(e.Initialize(44100, 2, 44100, 192, AudioFormat::Opus));
  EXPECT_FALSE(e.Initialize(48000, 6, 48000, 192, AudioFormat::Opus));
  EXPECT_FALSE(e.Initialize(0, 2, 48000, 192, AudioFormat::AacLc));
  EXPECT_FALSE(e.Initialize(48000, 0, 48000, 192, AudioFormat::AacLc));
  EXPECT_FALSE(e.IsOpen());
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_STREQ(AudioFormatDisplayName(AudioFormatFromInt(7)), "AAC-LC");
  EXPECT_STREQ(AudioFormatDisplayName(AudioFormatFromInt(1)), "ALAC (Sin pérdida)");
  EXPECT_TRUE(IsFormatAvailable(AudioFormat::AacLc));
  EXPECT_TRUE(IsFormatAvailable(AudioFormat::Alac));
  EXPECT_TRUE(IsFormatAvailable(AudioFormat::Opus));
}

TEST(AudioEncoder, AacFillsWholeFramesAndNumbersThem) {
  log::Capture capture;
  AacEncoder e;
  ASSERT_TRUE(e.Initialize(48000, 2, 192));
  EXPECT_TRUE(capture.Contains("Audio: encoder AAC-LC usando aac (48000 Hz, 192 kbps, frame=1024)"));
  EXPECT_EQ(e.GetFrameSize(), 1024);
  EXPECT_FALSE(e.GetExtradata().empty());  // AudioSpecificConfig

  std::vector<EncodedAudioPacket> packets;
  auto a = Tone(48000, 2, 480, 440);
  ASSERT_TRUE(e.Encode(a.data(), 480, packets));
  EXPECT_TRUE(packets.empty());
  EXPECT_EQ(e.SamplesEncoded(), 0);
  auto b = Tone(48000, 2, 544, 440, 480);
  ASSERT_TRUE(e.Encode(b.data(), 544, packets));
  EXPECT_EQ(e.SamplesEncoded(), 1024);  // the first frame went to the codec
  EXPECT_TRUE(e.Encode(nullptr, 0, packets));

  auto more = Tone(48000, 2, 48000, 440, 1024);
  ASSERT_TRUE(e.Encode(more.data(), 48000, packets));
  ASSERT_GE(packets.size(), 40u);
  for (size_t i = 1; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].pts, packets[i - 1].pts + 1024);
    EXPECT_EQ(packets[i].duration, 1024);
  }
  // Decoding gives the tone back: left and right in opposite phase, about 0.5 peak.
  const auto params = e.GetStreamParams();
  EXPECT_EQ(params.codecId, AV_CODEC_ID_AAC);
  EXPECT_EQ(params.channels, 2);
  EXPECT_EQ(params.profile, FF_PROFILE_AAC_LOW);
  const auto pcm = Decode(params, packets);
  ASSERT_GT(pcm.size(), 40000u);
  double peak = 0, corr = 0;
  for (size_t i = 20000; i + 1 < pcm.size(); i += 2) {
    peak = std::max(peak, std::fabs(static_cast<double>(pcm[i])));
    corr += pcm[i] * pcm[i + 1];
  }
  EXPECT_NEAR(peak, 0.5, 0.08);
  EXPECT_LT(corr, 0);

  // Reset drops nothing from the count and keeps numbering forward.
  const int64_t before = e.SamplesEncoded();
  e.Reset();
  packets.clear();
  ASSERT_TRUE(e.Encode(more.data(), 4096, packets));
  EXPECT_EQ(e.SamplesEncoded(), before + 4096);

  e.Close();
  EXPECT_FALSE(e.IsOpen());
  EXPECT_TRUE(e.GetExtradata().empty());
  EXPECT_TRUE(e.GetStreamParams().empty());
  EXPECT_TRUE(e.Encode(more.data(), 1024, packets));  // closed: nothing to do
}

TEST(AudioEncoder, AlacIsLosslessAndIgnoresBitRate) {
  log::Capture capture;
  AacEncoder e;
  ASSERT_TRUE(e.Initialize(44100, 2, 44100, 17, AudioFormat::Alac));
  EXPECT_TRUE(capture.Contains(", sin bitrate, frame=4096)"));
  EXPECT_EQ(e.GetFrameSize(), 4096);
  const auto tone = Tone(44100, 2, 4096 * 3, 1000);
  std::vector<EncodedAudioPacket> packets;
  ASSERT_TRUE(e.Encode(tone.data(), 4096 * 3, packets));
  ASSERT_EQ(packets.size(), 3u);
  EXPECT_EQ(packets[0].pts, 0);
  EXPECT_EQ(packets[2].pts, 8192);
  const auto pcm = Decode(e.GetStreamParams(), packets);
  ASSERT_EQ(pcm.size(), tone.size());
  double worst = 0;
  for (size_t i = 0; i < pcm.size(); ++i) worst = std::max(worst, std::fabs(double(pcm[i]) - tone[i]));
  EXPECT_LT(worst, 1e-4);  // only the integer quantisation
}

TEST(AudioEncoder, OpusResamplesToFortyEightKilohertz) {
  log::Capture capture;
  AacEncoder e;
  ASSERT_TRUE(e.Initialize(44100, 2, 48000, 128, AudioFormat::Opus));
  EXPECT_EQ(e.OutputRate(), 48000);
  // libopus takes 20 ms frames; FFmpeg's own encoder takes 2.5 ms ones and packs 20 ms packets.
  if (avcodec_find_encoder_by_name("libopus")) {
    EXPECT_EQ(e.GetFrameSize(), 960);
  } else {
    EXPECT_GT(e.GetFrameSize(), 0);
  }
  const auto tone = Tone(44100, 2, 44100, 440);
  std::vector<EncodedAudioPacket> packets;
  for (int off = 0; off < 44100; off += 441)
    ASSERT_TRUE(e.Encode(tone.data() + off * 2, 441, packets));
  // One second in is one second out, at the new rate.
  EXPECT_NEAR(static_cast<double>(e.SamplesEncoded()), 48000, 960 + 64);
  ASSERT_GE(packets.size(), 25u);
  for (size_t i = 0; i < packets.size(); ++i) {
    EXPECT_EQ(packets[i].duration, 960);
    if (i > 0) {
      EXPECT_EQ(packets[i].pts, packets[i - 1].pts + 960);
    }
  }
  const auto params = e.GetStreamParams();
  EXPECT_EQ(params.codecId, AV_CODEC_ID_OPUS);
  EXPECT_EQ(params.sampleRate, 48000);
  EXPECT_FALSE(params.extradata.empty());  // OpusHead
}

}  // namespace
}  // namespace halvex
