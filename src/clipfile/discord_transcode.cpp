// One encode attempt of the size-limited copy: decode the clip, scale, re-encode at the planned
// bit rate into MP4 (video constant-rate, audio AAC).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <vector>

#include "core/ffmpeg_handles.h"
#include "clipfile/discord_export.h"
#include "clipfile/local_file.h"
#include "core/log.h"
#include "core/text.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace halvex {

namespace fs = std::filesystem;

namespace {

std::string OneDecimal(double v) {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "%.1f", v);
  return buf;
}

bool IsNvenc(DiscordVideoEncoder e) {
  return e == DiscordVideoEncoder::HevcNvenc || e == DiscordVideoEncoder::H264Nvenc;
}

struct OutputContextDeleter {
  void operator()(AVFormatContext* oc) const {
    if (oc->pb && !(oc->oformat->flags & AVFMT_NOFILE)) avio_closep(&oc->pb);
    avformat_free_context(oc);
  }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

class Transcoder {
 public:
  Transcoder(const fs::path& source, const fs::path& temp, const DiscordExportOptions& options,
             int capKbps, std::string& error)
      : source_(source), temp_(temp), options_(options), capKbps_(capKbps), error_(error) {}

  bool Run(DiscordVideoEncoder* used);

 private:
  bool OpenInput();
  bool OpenVideoEncoder();
  bool ConfigureAndOpen(DiscordVideoEncoder which, bool& allocated);
  bool OpenAudio();
  bool Decode();
  bool HandleVideoFrame(AVFrame* frame);
  bool EncodeVideo(AVFrame* frame);
  bool HandleAudioFrame(AVFrame* frame);
  bool DrainFifo(bool all);
  // `samples` in the audio encoder's format, with room for them; null when that cannot be had.
  ff::FramePtr NewAudioFrame(int samples) const;
  bool EncodeAudio(AVFrame* frame);
  // What the error says when the encoder refuses the frame, no packet can be reserved, or
  // receiving fails.
  struct EncodeTexts {
    const char* rejected;
    const char* noPacket;
    const char* failed;
  };
  // Sends one frame (nullptr drains) and writes every packet it gives back.
  bool Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame, const EncodeTexts& texts,
              int64_t& packets);
  bool WritePacket(AVPacket* pkt, AVStream* st, AVCodecContext* enc);
  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }
  bool FailFfmpeg(int ret) {
    error_ = "Falló la generación del Discord Clip: " + ff::ErrorText(ret);
    log::Line("[DISCORD] ERROR final del encode: " + error_);
    return false;
  }
  void Progress(double f, const char* text) {
    if (options_.progress) options_.progress(f, text);
  }

  const fs::path& source_;
  const fs::path& temp_;
  const DiscordExportOptions& options_;
  int capKbps_;
  std::string& error_;

  ff::InputContextPtr input_;
  int videoIndex_ = -1;
  int audioIndex_ = -1;
  ff::CodecContextPtr videoDecoder_;
  ff::CodecContextPtr audioDecoder_;
  DiscordPlan plan_;

  OutputContextPtr output_;
  ff::CodecContextPtr videoEncoder_;
  DiscordVideoEncoder encoderKind_ = DiscordVideoEncoder::H264Nvenc;
  AVStream* videoStream_ = nullptr;
  ff::SwsPtr scaler_;
  ff::FramePtr scaled_;

  ff::CodecContextPtr audioEncoder_;
  AVStream* audioStream_ = nullptr;
  ff::SwrPtr resampler_;
  ff::FifoPtr fifo_;
  int64_t audioSamplesOut_ = 0;

  bool haveOrigin_ = false;
  int64_t origin_ = 0;
  int64_t nextIndex_ = 0;
  int64_t decodedFrames_ = 0;
  int64_t outputFrames_ = 0;
  int64_t videoPackets_ = 0;
  int64_t audioPackets_ = 0;
};

bool Transcoder::OpenInput() {
  AVFormatContext* raw = nullptr;
  AVDictionary* options = LocalFileOptions();
  const int opened = avformat_open_input(&raw, LocalFileUrl(source_).c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0)
    return Fail("No se pudo abrir el clip original (" + ff::ErrorText(opened) + ")");
  input_.reset(raw);
  if (avformat_find_stream_info(input_.get(), nullptr) < 0)
    return Fail("No se pudieron leer los streams del clip original");
  for (unsigned i = 0; i < input_->nb_streams; ++i) {
    const AVMediaType type = input_->streams[i]->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO && videoIndex_ < 0) videoIndex_ = static_cast<int>(i);
    if (type == AVMEDIA_TYPE_AUDIO && audioIndex_ < 0) audioIndex_ = static_cast<int>(i);
  }
  if (videoIndex_ < 0) return Fail("El clip original no contiene video.");

  const AVStream* vs = input_->streams[videoIndex_];
  const AVCodec* dec = avcodec_find_decoder(vs->codecpar->codec_id);
  videoDecoder_.reset(dec ? avcodec_alloc_context3(dec) : nullptr);
  if (!videoDecoder_ || avcodec_parameters_to_context(videoDecoder_.get(), vs->codecpar) < 0 ||
      avcodec_open2(videoDecoder_.get(), dec, nullptr) < 0)
    return Fail("No se pudo abrir el decoder de video del clip original.");

  if (audioIndex_ >= 0) {
    const AVStream* as = input_->streams[audioIndex_];
    const AVCodec* adec = avcodec_find_decoder(as->codecpar->codec_id);
    audioDecoder_.reset(adec ? avcodec_alloc_context3(adec) : nullptr);
    if (!audioDecoder_ || avcodec_parameters_to_context(audioDecoder_.get(), as->codecpar) < 0 ||
        avcodec_open2(audioDecoder_.get(), adec, nullptr) < 0) {
      // A track this build cannot decode: the copy goes on without sound rather than not at all.
      log::Line("[DISCORD] AVISO: no se pudo decodificar el audio del clip original; la copia va sin audio.");
      audioDecoder_.reset();
      audioIndex_ = -1;
    }
  }

  int64_t duration = input_->duration > 0 ? input_->duration : 0;
  if (vs->duration > 0 && vs->duration != AV_NOPTS_VALUE)
    duration = std::max(duration, av_rescale_q(vs->duration, vs->time_base, AVRational{1, 1000000}));
  plan_ = PlanDiscordEncode(duration, vs->codecpar->width, vs->codecpar->height, options_,
                            capKbps_);
  return true;
}

bool Transcoder::ConfigureAndOpen(DiscordVideoEncoder which, bool& allocated) {
  allocated = false;
  const AVCodec* codec = avcodec_find_encoder_by_name(DiscordEncoderName(which));
  if (!codec) return false;
  videoEncoder_.reset(avcodec_alloc_context3(codec));
  if (!videoEncoder_) return false;
  allocated = true;
  AVCodecContext* c = videoEncoder_.get();
  const int64_t bps = static_cast<int64_t>(plan_.videoKbps) * 1000;
  c->width = plan_.width;
  c->height = plan_.height;
  c->pix_fmt = IsNvenc(which) ? AV_PIX_FMT_NV12 : AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, plan_.fps};
  c->framerate = AVRational{plan_.fps, 1};
  c->bit_rate = bps;
  // Same budget for every encoder: rate capped and buffered so the size follows the bit rate.
  c->rc_max_rate = bps;
  c->rc_buffer_size = static_cast<int>(std::min<int64_t>(2 * bps, INT32_MAX));
  if (IsNvenc(which)) {
    c->rc_min_rate = bps;
    c->rc_initial_buffer_occupancy = static_cast<int>(std::min<int64_t>(bps, INT32_MAX));
  }
  c->gop_size = 2 * plan_.fps;
  c->max_b_frames = IsNvenc(which) ? 2 : 0;
  if (output_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

  AVDictionary* opts = nullptr;
  switch (which) {
    case DiscordVideoEncoder::HevcNvenc:
    case DiscordVideoEncoder::H264Nvenc:
      av_dict_set(&opts, "preset", "p5", 0);
      av_dict_set(&opts, "tune", "hq", 0);
      av_dict_set(&opts, "rc", "cbr", 0);
      av_dict_set(&opts, "profile", which == DiscordVideoEncoder::HevcNvenc ? "main" : "high", 0);
      av_dict_set(&opts, "bf", "2", 0);
      av_dict_set(&opts, "rc-lookahead", "20", 0);
      av_dict_set(&opts, "spatial-aq", "1", 0);
      av_dict_set(&opts, "temporal-aq", "1", 0);
      av_dict_set(&opts, "aq-strength", "8", 0);
      if (which == DiscordVideoEncoder::HevcNvenc) av_dict_set(&opts, "multipass", "qres", 0);
      break;
    case DiscordVideoEncoder::OpenH264:
      c->profile = FF_PROFILE_H264_MAIN;
      av_dict_set(&opts, "rc_mode", "bitrate", 0);
      av_dict_set(&opts, "allow_skip_frames", "1", 0);
      av_dict_set(&opts, "coder", "cabac", 0);
      av_dict_set(&opts, "slice_mode", "auto", 0);
      av_dict_set(&opts, "slices", "0", 0);
      break;
    case DiscordVideoEncoder::X264:
      av_dict_set(&opts, "preset", "veryfast", 0);
      break;
  }
  const int ret = avcodec_open2(c, codec, &opts);
  av_dict_free(&opts);
  if (ret < 0) {
    log::Line(std::string("[DISCORD] ") + DiscordEncoderName(which) + " no pudo abrirse (" +
              ff::ErrorText(ret) + ").");
    videoEncoder_.reset();
    return false;
  }
  encoderKind_ = which;
  return true;
}

bool Transcoder::OpenVideoEncoder() {
  std::vector<DiscordVideoEncoder> chain;
  if (options_.preferHevc) chain.push_back(DiscordVideoEncoder::HevcNvenc);
  chain.push_back(DiscordVideoEncoder::H264Nvenc);
  chain.push_back(DiscordVideoEncoder::OpenH264);
  chain.push_back(DiscordVideoEncoder::X264);
  std::erase_if(chain, [](DiscordVideoEncoder e) {
    return avcodec_find_encoder_by_name(DiscordEncoderName(e)) == nullptr;
  });
  if (chain.empty())
    return Fail("No hay encoder de video disponible en FFmpeg (hevc_nvenc/h264_nvenc/libopenh264).");

  const bool cpuFallbackExists = std::any_of(chain.begin(), chain.end(),
                                             [](DiscordVideoEncoder e) { return !IsNvenc(e); });
  Progress(0.01, "Iniciando encoder de video");
  for (size_t i = 0; i < chain.size(); ++i) {
    const DiscordVideoEncoder e = chain[i];
    log::Line(std::string("[DISCORD] Encoder seleccionado: ") + DiscordEncoderLogName(e) + " @ " +
              std::to_string(plan_.width) + "x" + std::to_string(plan_.height) + " " +
              std::to_string(plan_.fps) + " FPS, duracion=" + OneDecimal(plan_.seconds) +
              " s, bitrate video=" + std::to_string(plan_.videoKbps) + " kbps, audio=" +
              std::to_string(options_.audioKbps) + " kbps");
    bool allocated = false;
    if (ConfigureAndOpen(e, allocated)) {
      log::Line(std::string("[DISCORD] Encoder en uso: ") + DiscordEncoderLogName(e));
      return true;
    }
    if (!allocated) {
      if (e == DiscordVideoEncoder::H264Nvenc && i > 0)
        return Fail("No se pudo reservar el encoder H.264 NVENC de fallback.");
      if (!IsNvenc(e)) return Fail("No se pudo reservar el encoder OpenH264 de fallback.");
    }
  }
  if (!cpuFallbackExists)
    return Fail("NVENC (HEVC/H.264) no pudo abrirse y FFmpeg no incluye libopenh264 para el fallback.");
  return Fail("No se pudo abrir el encoder de video para Discord");
}

bool Transcoder::OpenAudio() {
  if (audioIndex_ < 0) return true;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  audioEncoder_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
  if (!audioEncoder_) return Fail("No se pudo reservar el encoder AAC.");
  AVCodecContext* c = audioEncoder_.get();
  c->sample_fmt = AV_SAMPLE_FMT_FLTP;
  c->sample_rate = 48000;
  av_channel_layout_default(&c->ch_layout, 2);
  c->bit_rate = static_cast<int64_t>(options_.audioKbps) * 1000;
  c->profile = FF_PROFILE_AAC_LOW;
  c->time_base = AVRational{1, 48000};
  if (output_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(c, codec, nullptr) < 0) return Fail("No se pudo abrir el encoder AAC para Discord");

  audioStream_ = avformat_new_stream(output_.get(), nullptr);
  if (!audioStream_ || avcodec_parameters_from_context(audioStream_->codecpar, c) < 0)
    return Fail("No se pudo crear el stream de audio del Discord Clip.");
  audioStream_->time_base = c->time_base;

  const AVCodecContext* d = audioDecoder_.get();
  AVChannelLayout inLayout{};
  if (d->ch_layout.nb_channels > 0 && d->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
    av_channel_layout_copy(&inLayout, &d->ch_layout);
  else
    av_channel_layout_default(&inLayout, std::max(d->ch_layout.nb_channels, 1));
  SwrContext* swr = nullptr;
  const int ret = swr_alloc_set_opts2(&swr, &c->ch_layout, c->sample_fmt, c->sample_rate, &inLayout,
                                      d->sample_fmt, d->sample_rate, 0, nullptr);
  av_channel_layout_uninit(&inLayout);
  resampler_.reset(swr);
  if (ret < 0 || !swr || swr_init(swr) < 0)
    return Fail("No se pudo preparar el resampler de audio del Discord Clip.");
  fifo_.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, std::max(c->frame_size, 1024)));
  if (!fifo_) return Fail("No se pudo reservar el FIFO de audio del Discord Clip.");

  // Sound that starts after the first picture keeps its place on the timeline.
  const AVStream* as = input_->streams[audioIndex_];
  const AVStream* vs = input_->streams[videoIndex_];
  if (as->start_time != AV_NOPTS_VALUE && vs->start_time != AV_NOPTS_VALUE) {
    const int64_t offset = av_rescale_q(as->start_time, as->time_base, c->time_base) -
                           av_rescale_q(vs->start_time, vs->time_base, c->time_base);
    audioSamplesOut_ = std::max<int64_t>(0, offset);
  }
  return true;
}

bool Transcoder::WritePacket(AVPacket* pkt, AVStream* st, AVCodecContext* enc) {
  av_packet_rescale_ts(pkt, enc->time_base, st->time_base);
  pkt->stream_index = st->index;
  const int ret = av_interleaved_write_frame(output_.get(), pkt);
  if (ret < 0) return FailFfmpeg(ret);
  return true;
}

bool Transcoder::EncodeVideo(AVFrame* frame) {
  const char* failed = "Falló el encode del video Discord";
  const char* rejected =
      encoderKind_ == DiscordVideoEncoder::OpenH264 ? "OpenH264 rechazo un frame de video" : failed;
  return Encode(videoEncoder_.get(), videoStream_, frame, {rejected, failed, failed}, videoPackets_);
}

bool Transcoder::HandleVideoFrame(AVFrame* frame) {
  ++decodedFrames_;
  if (decodedFrames_ % 15 == 0)
    Progress(std::min(1.0, static_cast<double>(decodedFrames_) / plan_.expectedFrames) * 0.98,
             "Codificando video para Discord");

  int64_t ts = frame->best_effort_timestamp;
  if (ts == AV_NOPTS_VALUE) ts = frame->pts;
  int64_t n = nextIndex_;
  if (ts != AV_NOPTS_VALUE) {
    if (!haveOrigin_) {
      origin_ = ts;
      haveOrigin_ = true;
    }
    const AVRational tb = input_->streams[videoIndex_]->time_base;
    n = std::llround(plan_.fps * static_cast<double>(ts - origin_) * av_q2d(tb));
    // A broken time stamp must not turn into millions of repeated pictures.
    n = std::clamp<int64_t>(n, 0, plan_.expectedFrames + plan_.fps);
  }
  if (n < nextIndex_) return true;

  if (!scaler_) {
    scaler_.reset(sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                 plan_.width, plan_.height, videoEncoder_->pix_fmt, SWS_BICUBIC,
                                 nullptr, nullptr, nullptr));
    if (!scaler_) return Fail("No se pudo preparar el escalador de video del Discord Clip.");
    scaled_.reset(av_frame_alloc());
    if (!scaled_) return Fail("No se pudo preparar un frame escalado.");
    scaled_->format = videoEncoder_->pix_fmt;
    scaled_->width = plan_.width;
    scaled_->height = plan_.height;
    if (av_frame_get_buffer(scaled_.get(), 0) < 0) return Fail("No se pudo preparar un frame escalado.");
  }
  // The encoder may still hold the previous picture.
  if (av_frame_make_writable(scaled_.get()) < 0) return Fail("No se pudo preparar un frame escalado.");
  sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, scaled_->data,
            scaled_->linesize);

  while (nextIndex_ <= n) {
    scaled_->pts = nextIndex_++;
    if (!EncodeVideo(scaled_.get())) return false;
    ++outputFrames_;
    if (outputFrames_ % 60 == 0)
      log::Line("[DISCORD] Progreso: " + std::to_string(outputFrames_) + " frames, " +
                std::to_string(videoPackets_) + " paquetes de video, " +
                std::to_string(audioPackets_) + " de audio.");
  }
  return true;
}

bool Transcoder::EncodeAudio(AVFrame* frame) {
  const char* rejected = "AAC rechazo un frame de audio";
  return Encode(audioEncoder_.get(), audioStream_, frame,
                {rejected, "No se pudo reservar el audio del Discord Clip.", rejected}, audioPackets_);
}

bool Transcoder::Encode(AVCodecContext* enc, AVStream* st, AVFrame* frame, const EncodeTexts& texts,
                        int64_t& packets) {
  int ret = avcodec_send_frame(enc, frame);
  if (ret < 0 && ret != AVERROR_EOF) return Fail(texts.rejected);
  ff::PacketPtr pkt(av_packet_alloc());
  if (!pkt) return Fail(texts.noPacket);
  for (;;) {
    ret = avcodec_receive_packet(enc, pkt.get());
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
    if (ret < 0) return Fail(texts.failed);
    ++packets;
    if (!WritePacket(pkt.get(), st, enc)) return false;
  }
}

ff::FramePtr Transcoder::NewAudioFrame(int samples) const {
  ff::FramePtr f(av_frame_alloc());
  if (!f) return nullptr;
  f->nb_samples = samples;
  f->format = audioEncoder_->sample_fmt;
  f->sample_rate = audioEncoder_->sample_rate;
  if (av_channel_layout_copy(&f->ch_layout, &audioEncoder_->ch_layout) < 0 ||
      av_frame_get_buffer(f.get(), 0) < 0) {
    return nullptr;
  }
  return f;
}

bool Transcoder::DrainFifo(bool all) {
  const int frameSize = audioEncoder_->frame_size > 0 ? audioEncoder_->frame_size : 1024;
  while (av_audio_fifo_size(fifo_.get()) >= frameSize ||
         (all && av_audio_fifo_size(fifo_.get()) > 0)) {
    const int n = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
    ff::FramePtr f = NewAudioFrame(n);
    if (!f) return Fail("No se pudo reservar el audio del Discord Clip.");
    if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(f->data), n) < n)
      return Fail("No se pudo reservar el audio del Discord Clip.");
    f->pts = audioSamplesOut_;
    audioSamplesOut_ += n;
    if (!EncodeAudio(f.get())) return false;
  }
  return true;
}

bool Transcoder::HandleAudioFrame(AVFrame* frame) {
  const int capacity = swr_get_out_samples(resampler_.get(), frame ? frame->nb_samples : 0);
  if (capacity < 0) return Fail("No se pudo reservar el audio del Discord Clip.");
  if (capacity == 0) return true;
  ff::FramePtr out = NewAudioFrame(capacity);
  if (!out) return Fail("No se pudo reservar el audio del Discord Clip.");
  const int converted =
      swr_convert(resampler_.get(), out->data, capacity,
                  frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                  frame ? frame->nb_samples : 0);
  if (converted < 0) return Fail("No se pudo reservar el audio del Discord Clip.");
  if (converted > 0 &&
      av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out->data), converted) < converted)
    return Fail("No se pudo almacenar el audio del Discord Clip.");
  return DrainFifo(false);
}

bool Transcoder::Decode() {
  ff::PacketPtr pkt(av_packet_alloc());
  ff::FramePtr frame(av_frame_alloc());
  if (!pkt || !frame) return Fail("No se pudo preparar un frame escalado.");

  auto drainVideo = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_frame(videoDecoder_.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return Fail("El decoder de video del Discord Clip rechazo un paquete");
      const bool ok = HandleVideoFrame(frame.get());
      av_frame_unref(frame.get());
      if (!ok) return false;
    }
  };
  auto drainAudio = [&]() -> bool {
    for (;;) {
      const int r = avcodec_receive_frame(audioDecoder_.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
      if (r < 0) return true;  // damaged sound is skipped, the picture goes on
      const bool ok = HandleAudioFrame(frame.get());
      av_frame_unref(frame.get());
      if (!ok) return false;
    }
  };

  for (;;) {
    const int r = av_read_frame(input_.get(), pkt.get());
    if (r == AVERROR_EOF) break;
    if (r < 0) return FailFfmpeg(r);
    bool ok = true;
    if (pkt->stream_index == videoIndex_) {
      if (avcodec_send_packet(videoDecoder_.get(), pkt.get()) < 0)
        ok = Fail("El decoder de video del Discord Clip rechazo un paquete");
      else
        ok = drainVideo();
    } else if (pkt->stream_index == audioIndex_ && audioDecoder_) {
      if (avcodec_send_packet(audioDecoder_.get(), pkt.get()) >= 0) ok = drainAudio();
    }
    av_packet_unref(pkt.get());
    if (!ok) return false;
  }

  log::Line("[DISCORD] Entrada agotada normalmente; iniciando flush final de decoders/encoders...");
  Progress(0.98, "Finalizando video para Discord");
  avcodec_send_packet(videoDecoder_.get(), nullptr);
  if (!drainVideo()) return false;
  if (!EncodeVideo(nullptr)) return false;
  if (audioEncoder_) {
    avcodec_send_packet(audioDecoder_.get(), nullptr);
    if (!drainAudio()) return false;
    if (!HandleAudioFrame(nullptr)) return false;  // what the resampler still holds
    if (!DrainFifo(true)) return false;
    if (!EncodeAudio(nullptr)) return false;
  }
  return true;
}

bool Transcoder::Run(DiscordVideoEncoder* used) {
  if (!OpenInput()) return false;
  Progress(0, "Preparando version para Discord");
  log::Line("[DISCORD] Presupuesto: duracion=" + OneDecimal(plan_.seconds) + " s, objetivo=" +
            std::to_string(options_.targetSize) + " bytes, bitrate video calculado=" +
            std::to_string(plan_.videoKbps) + " kbps, audio=" + std::to_string(options_.audioKbps) +
            " kbps.");

  AVFormatContext* raw = nullptr;
  const std::string tempUrl = LocalFileUrl(temp_);
  if (avformat_alloc_output_context2(&raw, nullptr, "mp4", tempUrl.c_str()) < 0 || !raw)
    return Fail("No se pudo crear el contenedor MP4");
  output_.reset(raw);
  if (!RestrictToLocalFiles(output_.get())) return Fail("No se pudo crear el contenedor MP4");

  if (!OpenVideoEncoder()) return false;
  if (used) *used = encoderKind_;
  videoStream_ = avformat_new_stream(output_.get(), nullptr);
  if (!videoStream_ || avcodec_parameters_from_context(videoStream_->codecpar, videoEncoder_.get()) < 0)
    return Fail("No se pudo abrir el encoder de video para Discord");
  videoStream_->time_base = videoEncoder_->time_base;
  videoStream_->avg_frame_rate = videoEncoder_->framerate;
  if (!OpenAudio()) return false;

  AVDictionary* fileOptions = LocalFileOptions();
  const int fileOpened =
      avio_open2(&output_->pb, tempUrl.c_str(), AVIO_FLAG_WRITE, nullptr, &fileOptions);
  av_dict_free(&fileOptions);
  if (fileOpened < 0)
    return Fail("No se pudo abrir el archivo Discord Clip (" + ff::ErrorText(fileOpened) + ")");
  if (avformat_write_header(output_.get(), nullptr) < 0)
    return Fail("No se pudo escribir el header del Discord Clip");
  log::Line("[DISCORD] Header MP4 escrito; comenzando decodificacion + encode...");

  if (!Decode()) return false;

  Progress(0.992, "Cerrando archivo Discord");
  const int trailer = av_write_trailer(output_.get());
  const int closed = avio_closep(&output_->pb);
  if (trailer < 0 || closed < 0) return Fail("No se pudo cerrar el Discord Clip");

  std::error_code ec;
  const auto size = fs::file_size(temp_, ec);
  log::Line("[DISCORD] Encode terminado: " + std::to_string(videoPackets_) + " paquetes de video, " +
            std::to_string(audioPackets_) + " paquetes de audio, archivo=" +
            std::to_string(ec ? 0 : size) + " bytes antes del padding.");
  if (videoPackets_ == 0) {
    log::Line("[DISCORD] ERROR: el encoder terminó sin producir paquetes de video (frames decodificados=" +
              std::to_string(decodedFrames_) + ").");
    fs::remove(temp_, ec);  // a file without pictures is no copy at all
    return Fail(encoderKind_ == DiscordVideoEncoder::OpenH264
                    ? "OpenH264 no produjo ningun paquete de video; se descarta el archivo incompleto."
                    : "Falló la generación del Discord Clip: el encoder no produjo video.");
  }
  return true;
}

}  // namespace

bool TranscodeForDiscord(const fs::path& sourcePath, const fs::path& tempPath,
                         const DiscordExportOptions& options, int capKbps, std::string& errorText,
                         DiscordVideoEncoder* used) {
  Transcoder t(sourcePath, tempPath, options, capKbps, errorText);
  return t.Run(used);
}

}  // namespace halvex
