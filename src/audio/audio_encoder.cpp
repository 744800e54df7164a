#include "audio/audio_encoder.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/ffmpeg_handles.h"
#include "core/log.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace halvex {

namespace {

constexpr std::array<int, 4> kPcmRates = {22050, 44100, 48000, 96000};
constexpr std::array<int, 5> kLossyKbps = {128, 160, 192, 256, 320};

// Conversion costs least with the first formats; the integer ones keep lossless encoders exact.
constexpr std::array<AVSampleFormat, 6> kFormatPreference = {
    AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_S32P,
    AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S16};

template <size_t N>
bool Contains(const std::array<int, N>& values, int v) {
  return std::find(values.begin(), values.end(), v) != values.end();
}

bool ParametersAccepted(AudioFormat format, int channels, int outputRate, int kbps) {
  switch (format) {
    case AudioFormat::AacLc:
      return Contains(kPcmRates, outputRate) && Contains(kLossyKbps, kbps);
    case AudioFormat::Alac:
      return Contains(kPcmRates, outputRate);
    case AudioFormat::Opus:
      return outputRate == 48000 && Contains(kLossyKbps, kbps) && channels <= 2;
  }
  return false;
}

const AVCodec* FindEncoder(AudioFormat format) {
  switch (format) {
    case AudioFormat::AacLc:
      return avcodec_find_encoder(AV_CODEC_ID_AAC);
    case AudioFormat::Alac:
      return avcodec_find_encoder(AV_CODEC_ID_ALAC);
    case AudioFormat::Opus:
      if (const AVCodec* c = avcodec_find_encoder_by_name("libopus")) return c;
      return avcodec_find_encoder(AV_CODEC_ID_OPUS);
  }
  return nullptr;
}

bool SupportsRate(const AVCodec* codec, int rate) {
  if (!codec->supported_samplerates) return true;
  for (const int* r = codec->supported_samplerates; *r; ++r)
    if (*r == rate) return true;
  return false;
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec) {
  if (!codec->sample_fmts) return AV_SAMPLE_FMT_FLT;
  for (AVSampleFormat wanted : kFormatPreference)
    for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == wanted) return wanted;
  return codec->sample_fmts[0];  // AV_SAMPLE_FMT_NONE when the list is empty
}

// Output buffer of a conversion, freed with the call.
struct SampleBuffer {
  uint8_t** data = nullptr;
  ~SampleBuffer() {
    if (data) av_freep(&data[0]);
    av_freep(&data);
  }
};

}  // namespace

AudioFormat AudioFormatFromInt(int32_t value) {
  switch (value) {
    case 1:
      return AudioFormat::Alac;
    case 2:
      return AudioFormat::Opus;
    default:
      return AudioFormat::AacLc;
  }
}

const char* AudioFormatDisplayName(AudioFormat format) {
  switch (format) {
    case AudioFormat::Alac:
      return "ALAC (Sin pérdida)";
    case AudioFormat::Opus:
      return "Opus";
    default:
      return "AAC-LC";
  }
}

bool IsFormatAvailable(AudioFormat format) { return FindEncoder(format) != nullptr; }

AacEncoder::~AacEncoder() { Close(); }

bool AacEncoder::Initialize(int sampleRate, int channels, int kbps) {
  return Initialize(sampleRate, channels, sampleRate, kbps, AudioFormat::AacLc);
}

bool AacEncoder::Initialize(int inputRate, int channels, int outputRate, int kbps,
                            AudioFormat format) {
  Close();
  if (inputRate <= 0 || channels <= 0 || outputRate <= 0) return false;
  if (!ParametersAccepted(format, channels, outputRate, kbps)) return false;

  const std::string formatName = AudioFormatDisplayName(format);
  const AVCodec* codec = FindEncoder(format);
  if (!codec) {
    log::Line("Audio: no se encontro un encoder disponible para " + formatName + ".");
    return false;
  }
  const std::string encoderName = codec->name ? codec->name : "unknown";
  if (!SupportsRate(codec, outputRate)) {
    log::Line("Audio: " + formatName + " no admite " + std::to_string(outputRate) +
              " Hz en este build de FFmpeg.");
    return false;
  }

  AVCodecContext* ctx = avcodec_alloc_context3(codec);
  if (!ctx) return false;
  context_ = ctx;
  codec_ = codec;
  format_ = format;
  inputRate_ = inputRate;
  outputRate_ = outputRate;
  channels_ = channels;
  kbps_ = kbps;

  const AVSampleFormat sampleFormat = ChooseSampleFormat(codec);
  if (sampleFormat == AV_SAMPLE_FMT_NONE) {
    log::Line("Audio: el encoder " + encoderName + " no expone un formato PCM compatible.");
    Close();
    return false;
  }
  sampleFormat_ = sampleFormat;

  ctx->sample_rate = outputRate;
  ctx->sample_fmt = sampleFormat;
  av_channel_layout_default(&ctx->ch_layout, channels);
  ctx->time_base = AVRational{1, outputRate};
  ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  AVDictionary* opts = nullptr;
  switch (format) {
    case AudioFormat::AacLc:
      ctx->profile = FF_PROFILE_AAC_LOW;
      ctx->bit_rate = static_cast<int64_t>(kbps) * 1000;
      break;
    case AudioFormat::Alac:
      ctx->bit_rate = 0;
      break;
    case AudioFormat::Opus:
      ctx->bit_rate = static_cast<int64_t>(kbps) * 1000;
      av_dict_set_int(&opts, "application", 2049, 0);
      av_dict_set_int(&opts, "vbr", 0, 0);
      if (encoderName == "opus") ctx->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
      break;
  }
  profile_ = ctx->profile;
  const int ret = avcodec_open2(ctx, codec, &opts);
  av_dict_free(&opts);  // options this encoder does not know are simply left over
  if (ret < 0) {
    log::Line("Audio: avcodec_open2 fallo para " + formatName + " (" + encoderName +
              "): " + ff::ErrorText(ret));
    Close();
    return false;
  }
  if (format == AudioFormat::Opus && ctx->sample_rate != 48000) {
    log::Line("Audio: el encoder Opus cambio inesperadamente el sample rate.");
    Close();
    return false;
  }

  if (ctx->frame_size > 0) {
    frameSize_ = ctx->frame_size;
  } else {
    frameSize_ = format == AudioFormat::Alac ? 4096 : format == AudioFormat::Opus ? 960 : 1024;
  }
  if (ctx->extradata && ctx->extradata_size > 0)
    extradata_.assign(ctx->extradata, ctx->extradata + ctx->extradata_size);

  if (!InitResampler()) {
    log::Line("Audio: no se pudo inicializar el remuestreador/formato (" +
              std::to_string(inputRate) + "Hz -> " + std::to_string(outputRate) + "Hz).");
    Close();
    return false;
  }

  std::string rate = std::to_string(outputRate) + " Hz";
  std::string bitrate =
      format == AudioFormat::Alac ? ", sin bitrate" : ", " + std::to_string(kbps) + " kbps";
  log::Line("Audio: encoder " + formatName + " usando " + encoderName + " (" + rate + bitrate +
            ", frame=" + std::to_string(frameSize_) + ")");
  pendingFill_ = 0;
  sampleCounter_ = 0;
  return true;
}

bool AacEncoder::InitResampler() {
  AVChannelLayout layout;
  av_channel_layout_default(&layout, channels_);
  SwrContext* swr = nullptr;
  int ret = swr_alloc_set_opts2(&swr, &layout, static_cast<AVSampleFormat>(sampleFormat_),
                                outputRate_, &layout, AV_SAMPLE_FMT_FLT, inputRate_, 0, nullptr);
  av_channel_layout_uninit(&layout);
  if (ret < 0 || !swr) {
    swr_free(&swr);
    return false;
  }
  if (swr_init(swr) < 0) {
    swr_free(&swr);
    return false;
  }
  resampler_ = swr;
  return true;
}

void AacEncoder::FreePendingFrame() {
  av_frame_free(&pending_);
  pendingFill_ = 0;
}

void AacEncoder::Close() {
  FreePendingFrame();
  swr_free(&resampler_);
  avcodec_free_context(&context_);
  codec_ = nullptr;
  format_ = AudioFormat::AacLc;
  inputRate_ = outputRate_ = channels_ = kbps_ = 0;
  sampleFormat_ = -1;
  profile_ = -99;
  frameSize_ = 0;
  extradata_.clear();
}

void AacEncoder::Reset() {
  if (!context_) return;
  FreePendingFrame();
  // Encoders without flush support would only print a warning; their state simply carries on.
  if (codec_->capabilities & AV_CODEC_CAP_ENCODER_FLUSH) avcodec_flush_buffers(context_);
  swr_free(&resampler_);
  if (!InitResampler()) {
    log::Line("Audio: no se pudo inicializar el remuestreador/formato (" +
              std::to_string(inputRate_) + "Hz -> " + std::to_string(outputRate_) + "Hz).");
  }
}

bool AacEncoder::Encode(const float* samples, int frameCount,
                        std::vector<EncodedAudioPacket>& packets) {
  if (!context_ || !samples || frameCount <= 0) return true;
  if (!resampler_) return false;

  const auto fmt = static_cast<AVSampleFormat>(sampleFormat_);
  const int64_t delay = swr_get_delay(resampler_, inputRate_);
  const int64_t capacity64 =
      av_rescale_rnd(delay + frameCount, outputRate_, inputRate_, AV_ROUND_UP);
  if (capacity64 <= 0 || capacity64 > INT32_MAX / 16) return false;
  const int capacity = static_cast<int>(capacity64);

  SampleBuffer out;
  int linesize = 0;
  if (av_samples_alloc_array_and_samples(&out.data, &linesize, channels_, capacity, fmt, 0) < 0)
    return false;
  const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
  const int converted = swr_convert(resampler_, out.data, capacity, in, frameCount);
  if (converted < 0) return false;

  int offset = 0;
  while (offset < converted) {
    if (!pending_) {
      AVFrame* frame = av_frame_alloc();
      if (!frame) return false;
      frame->nb_samples = frameSize_;
      frame->format = fmt;
      frame->sample_rate = outputRate_;
      if (av_channel_layout_copy(&frame->ch_layout, &context_->ch_layout) < 0 ||
          av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return false;
      }
      pending_ = frame;
      pendingFill_ = 0;
    }
    const int n = std::min(frameSize_ - pendingFill_, converted - offset);
    av_samples_copy(pending_->data, out.data, pendingFill_, offset, n, channels_, fmt);
    pendingFill_ += n;
    offset += n;
    if (pendingFill_ == frameSize_ && !FlushFullFrame(packets)) return false;
  }
  return true;
}

bool AacEncoder::FlushFullFrame(std::vector<EncodedAudioPacket>& packets) {
  pending_->pts = sampleCounter_;
  sampleCounter_ += frameSize_;
  const int ret = avcodec_send_frame(context_, pending_);
  FreePendingFrame();
  if (ret < 0) return false;
  return ReceivePackets(packets);
}

bool AacEncoder::ReceivePackets(std::vector<EncodedAudioPacket>& packets) {
  ff::PacketPtr pkt(av_packet_alloc());
  if (!pkt) return false;
  for (;;) {
    const int ret = avcodec_receive_packet(context_, pkt.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return false;
    EncodedAudioPacket out;
    out.bytes.assign(pkt->data, pkt->data + pkt->size);
    out.pts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : sampleCounter_ - frameSize_;
    out.duration = pkt->duration > 0 ? pkt->duration : frameSize_;
    packets.push_back(std::move(out));
    av_packet_unref(pkt.get());
  }
}

AudioStreamParams AacEncoder::GetStreamParams() const {
  AudioStreamParams p;
  if (!context_) return p;
  p.sampleRate = context_->sample_rate;
  p.channels = context_->ch_layout.nb_channels;
  p.frameSize = frameSize_;
  p.codecId = context_->codec_id;
  p.profile = context_->profile;
  p.sampleFormat = context_->sample_fmt;
  p.bitRate = context_->bit_rate;
  p.bitsPerCodedSample = context_->bits_per_coded_sample;
  p.blockAlign = context_->block_align;
  p.initialPadding = context_->initial_padding;
  p.trailingPadding = context_->trailing_padding;
  p.seekPreroll = context_->seek_preroll;
  char layout[128] = {};
  if (av_channel_layout_describe(&context_->ch_layout, layout, sizeof(layout)) > 0)
    p.channelLayout = layout;
  p.extradata = extradata_;
  return p;
}

}  // namespace halvex
