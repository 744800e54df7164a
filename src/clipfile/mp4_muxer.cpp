#include "clipfile/mp4_muxer.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "core/ffmpeg_handles.h"
#include "clipfile/annexb.h"
#include "clipfile/local_file.h"
#include "clipfile/obu.h"
#include "core/log.h"
#include "core/log_path.h"
#include "core/text.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace halvex {

namespace {

AVCodecID CodecIdOf(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::Hevc:
      return AV_CODEC_ID_HEVC;
    case VideoCodec::Av1:
      return AV_CODEC_ID_AV1;
    default:
      return AV_CODEC_ID_H264;
  }
}

// A zero-padded copy as FFmpeg expects extradata to be.
uint8_t* PaddedCopy(const uint8_t* data, size_t size) {
  auto* buf = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (buf && size) std::memcpy(buf, data, size);
  return buf;
}

std::string RetText(int ret) { return "ret=" + std::to_string(ret) + ", " + ff::ErrorText(ret); }

}  // namespace

Mp4Muxer::Mp4Muxer() : flush_(FlushFileToDisk) {}

Mp4Muxer::Mp4Muxer(FileFlush flush) : flush_(std::move(flush)) {}

Mp4Muxer::~Mp4Muxer() { Close(); }

std::filesystem::path Mp4Muxer::TemporaryPathFor(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".part";
  return temp;
}

bool Mp4Muxer::Open(const std::filesystem::path& path, uint32_t width, uint32_t height,
                    int32_t fps, VideoCodec codec) {
  if (output_) Abort();  // a second Open never publishes the half-made first clip

  width_ = width;
  height_ = height;
  codec_ = codec;
  const bool variableRate = fps < 1;
  fps_ = variableRate ? 60 : fps;
  finalPath_ = path;
  tempPath_ = TemporaryPathFor(path);
  writeFailed_ = false;
  partialRemoved_ = false;

  const std::string utf8 = text::PathToUtf8(path);
  matroska_ = utf8.size() >= 4 && text::AsciiLower(utf8.substr(utf8.size() - 4)) == ".mkv";

  const std::string tempUrl = LocalFileUrl(tempPath_);
  if (avformat_alloc_output_context2(&output_, nullptr, matroska_ ? "matroska" : "mp4",
                                     tempUrl.c_str()) < 0 ||
      !output_ || !RestrictToLocalFiles(output_)) {
    avformat_free_context(output_);
    output_ = nullptr;
    log::Line(matroska_ ? "MKV: no se pudo crear el contexto de salida"
                        : "MUX: no se pudo crear el contexto de salida");
    return false;
  }

  video_ = avformat_new_stream(output_, nullptr);
  if (!video_) {
    log::Line("MUX: avformat_new_stream fallo");
    return false;
  }
  AVCodecParameters* par = video_->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = CodecIdOf(codec);
  par->width = static_cast<int>(width);
  par->height = static_cast<int>(height);
  video_->time_base = AVRational{1, fps_};
  const AVRational rate = variableRate ? AVRational{0, 1} : AVRational{fps_, 1};
  video_->avg_frame_rate = rate;
  video_->r_frame_rate = rate;

  frameCounter_ = 0;
  frameDuration_ = 1;
  lastVideoDts_ = -1;

  if (!(output_->oformat->flags & AVFMT_NOFILE)) {
    AVDictionary* options = LocalFileOptions();
    const int ret = avio_open2(&output_->pb, tempUrl.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
    av_dict_free(&options);
    if (ret < 0) {
      log::Line(std::string(matroska_ ? "MKV: avio_open fallo" : "MUX: avio_open fallo") + " (" +
                RetText(ret) + ") en " + text::PathForLog(tempPath_));
      return false;
    }
    fileOpen_ = true;
  }
  return true;
}

int Mp4Muxer::AddAudioTrack(const AudioStreamParams& params, const std::string& title) {
  if (!output_) {
    log::Line("MUX: AddAudioTrack llamado sin Open() previo");
    return -1;
  }
  if (headerWritten_) {
    log::Line(
        "MUX: AddAudioTrack llamado despues de escribir el header (la pista de audio no va a "
        "existir en el archivo)");
    return -1;
  }
  if (params.sampleRate <= 0 || params.channels <= 0 || params.codecId == 0) {
    log::Line("MUX: parametros de pista de audio invalidos; se omite la pista.");
    return -1;
  }
  AVStream* st = avformat_new_stream(output_, nullptr);
  if (!st) {
    log::Line("MUX: avformat_new_stream (audio) fallo");
    return -1;
  }
  AVCodecParameters* par = st->codecpar;
  par->codec_type = AVMEDIA_TYPE_AUDIO;
  par->codec_id = static_cast<AVCodecID>(params.codecId);
  par->profile = params.profile;
  par->sample_rate = params.sampleRate;
  par->frame_size = params.frameSize;
  par->format = params.sampleFormat;
  par->bit_rate = params.bitRate;
  par->bits_per_coded_sample = params.bitsPerCodedSample;
  par->block_align = params.blockAlign;
  par->initial_padding = params.initialPadding;
  par->trailing_padding = params.trailingPadding;
  par->seek_preroll = params.seekPreroll;

  av_channel_layout_uninit(&par->ch_layout);
  av_channel_layout_default(&par->ch_layout, params.channels);
  if (!params.channelLayout.empty()) {
    AVChannelLayout parsed{};
    // A description naming another channel count would contradict the encoded data.
    if (av_channel_layout_from_string(&parsed, params.channelLayout.c_str()) == 0 &&
        parsed.nb_channels == params.channels) {
      av_channel_layout_uninit(&par->ch_layout);
      par->ch_layout = parsed;
    } else {
      av_channel_layout_uninit(&parsed);
    }
  }

  if (!params.extradata.empty()) {
    par->extradata = PaddedCopy(params.extradata.data(), params.extradata.size());
    if (!par->extradata) {
      log::Line("MUX: no se pudo reservar extradata para audio.");
      return -1;
    }
    par->extradata_size = static_cast<int>(params.extradata.size());
  }

  st->time_base = AVRational{1, params.sampleRate};
  if (!title.empty()) {
    av_dict_set(&st->metadata, "title", title.c_str(), 0);
    // MP4 readers (and FFmpeg's own) take a track's name from its handler box.
    if (!matroska_) av_dict_set(&st->metadata, "handler_name", title.c_str(), 0);
  }
  st->disposition = tracks_.empty() ? AV_DISPOSITION_DEFAULT : 0;

  AudioTrack track;
  track.stream = st;
  track.sampleRate = params.sampleRate;
  track.frameSize = params.frameSize < 1 ? 1024 : params.frameSize;
  tracks_.push_back(track);
  return static_cast<int>(tracks_.size() - 1);
}

bool Mp4Muxer::WriteHeader(const uint8_t* bytes, size_t size) {
  std::vector<uint8_t> extradata;
  const char* missing = nullptr;  // what the log says when the first packet lacks the set
  switch (codec_) {
    case VideoCodec::H264:
      extradata = annexb::BuildAvcConfig(bytes, size);
      missing = "MUX: el primer paquete H.264 no trae SPS/PPS.";
      break;
    case VideoCodec::Hevc:
      extradata = annexb::CollectHevcParameterSets(bytes, size);
      missing = "MUX: el primer paquete H.265/HEVC no trae VPS/SPS/PPS.";
      break;
    case VideoCodec::Av1:
      extradata = obu::ExtractConfigUnits(bytes, size);
      missing = "MUX: el primer paquete AV1 esta vacio.";
      break;
  }
  if (missing != nullptr && extradata.empty()) {
    log::Line(missing);
    return false;
  }
  AVCodecParameters* par = video_->codecpar;
  av_freep(&par->extradata);
  par->extradata_size = 0;
  par->extradata = PaddedCopy(extradata.data(), extradata.size());
  if (!par->extradata) return false;
  par->extradata_size = static_cast<int>(extradata.size());

  AVDictionary* options = nullptr;
  if (!matroska_) av_dict_set(&options, "movflags", "faststart", 0);
  const int ret = avformat_write_header(output_, &options);
  av_dict_free(&options);
  if (ret < 0) {
    log::Line(std::string("MUX: avformat_write_header fallo (codec=") +
              avcodec_get_name(par->codec_id) + ", " + RetText(ret) + ")");
    return false;
  }
  headerWritten_ = true;
  const AVRational tb = video_->time_base;
  const int64_t perFrame = tb.num > 0 ? tb.den / (static_cast<int64_t>(tb.num) * fps_) : 1;
  frameDuration_ = static_cast<int32_t>(std::max<int64_t>(perFrame, 1));
  return true;
}

bool Mp4Muxer::WriteVideoPacket(const uint8_t* bytes, size_t size, bool isKeyframe) {
  return WriteVideo(bytes, size, isKeyframe, 0, 0, false);
}

bool Mp4Muxer::WriteVideoPacketAt(const uint8_t* bytes, size_t size, bool isKeyframe,
                                  int64_t ptsMicroseconds, int64_t durationMicroseconds) {
  return WriteVideo(bytes, size, isKeyframe, ptsMicroseconds, durationMicroseconds, true);
}

bool Mp4Muxer::WriteVideo(const uint8_t* bytes, size_t size, bool isKeyframe, int64_t pts,
                          int64_t duration, bool fromMicroseconds) {
  if (!output_ || !video_) return false;
  if (!bytes) size = 0;
  if (!headerWritten_) {
    if (!isKeyframe) {
      log::Line("MUX: el primer paquete del clip no es un keyframe (no deberia pasar)");
      return false;
    }
    if (!WriteHeader(bytes, size)) return false;
  }

  // H.264 is stored length-prefixed in both containers: the configuration record announces
  // 4-byte lengths, and neither writer converts Annex-B behind such a record.
  std::vector<uint8_t> converted;
  const uint8_t* payload = bytes;
  size_t payloadSize = size;
  if (codec_ == VideoCodec::H264) {
    converted = annexb::ToLengthPrefixed(bytes, size);
    payload = converted.data();
    payloadSize = converted.size();
  }
  if (payloadSize == 0) {
    log::Line("MUX: paquete de video vacio; se omite.");
    return true;
  }

  const AVRational tb = video_->time_base;
  if (fromMicroseconds) {
    pts = av_rescale_q(std::max<int64_t>(pts, 0), AVRational{1, 1000000}, tb);
    duration = std::max<int64_t>(
        av_rescale_q(std::max<int64_t>(duration, 1), AVRational{1, 1000000}, tb), 1);
  } else {
    // Rescaled from the picture count, not summed per-picture durations: a clock that does not
    // divide by the frame rate (Matroska's milliseconds) would otherwise drift.
    const AVRational frameTb{1, fps_};
    pts = av_rescale_q(frameCounter_, frameTb, tb);
    duration = std::max<int64_t>(av_rescale_q(frameCounter_ + 1, frameTb, tb) - pts, 1);
  }
  // Two pictures closer than one tick of the container's clock would otherwise fail the clip.
  if (lastVideoDts_ >= 0 && pts <= lastVideoDts_) pts = lastVideoDts_ + 1;

  ff::PacketPtr pkt(av_packet_alloc());
  if (!pkt || av_new_packet(pkt.get(), static_cast<int>(payloadSize)) < 0) return false;
  std::memcpy(pkt->data, payload, payloadSize);
  pkt->stream_index = video_->index;
  pkt->pts = pkt->dts = pts;
  pkt->duration = duration;
  if (isKeyframe) pkt->flags |= AV_PKT_FLAG_KEY;

  int ret = av_interleaved_write_frame(output_, pkt.get());
  if (ret >= 0 && output_->pb && output_->pb->error < 0) ret = output_->pb->error;
  if (ret < 0) {
    writeFailed_ = true;
    log::Line(std::string("MUX: fallo escribiendo video ") +
              avcodec_get_name(video_->codecpar->codec_id) + " en " + ContainerName() + " (" +
              RetText(ret) + ")");
    return false;
  }
  lastVideoDts_ = pts;
  if (!fromMicroseconds) ++frameCounter_;
  return true;
}

bool Mp4Muxer::WriteAudioPacket(int track, const uint8_t* bytes, size_t size) {
  if (!output_ || track < 0 || static_cast<size_t>(track) >= tracks_.size()) return false;
  AudioTrack& t = tracks_[track];
  if (!WriteAudioPacketAt(track, bytes, size, t.nextSample, t.frameSize)) return false;
  t.nextSample += t.frameSize;
  return true;
}

bool Mp4Muxer::WriteAudioPacketAt(int track, const uint8_t* bytes, size_t size,
                                  int64_t ptsSamples, int64_t durationSamples) {
  if (!output_ || track < 0 || static_cast<size_t>(track) >= tracks_.size()) return false;
  if (!headerWritten_) {
    log::Line(
        "MUX: WriteAudioPacketAt llamado antes de que el header exista (escribi primero los "
        "paquetes de video del clip)");
    return false;
  }
  if (!bytes) size = 0;
  AudioTrack& t = tracks_[track];
  const int64_t duration = durationSamples < 1 ? t.frameSize : durationSamples;
  const int64_t earliest = t.lastPts < 0 ? 0 : t.lastPts + std::max<int64_t>(t.lastDuration, 1);
  const int64_t ptsUsed = std::max({ptsSamples, int64_t{0}, earliest});

  const AVRational in{1, t.sampleRate};
  const AVRational out = t.stream->time_base;
  int64_t pts = av_rescale_q(ptsUsed, in, out);
  const int64_t rescaledDuration = std::max<int64_t>(av_rescale_q(duration, in, out), 1);
  if (t.lastDts >= 0 && pts <= t.lastDts) pts = t.lastDts + 1;

  ff::PacketPtr pkt(av_packet_alloc());
  if (!pkt || av_new_packet(pkt.get(), static_cast<int>(size)) < 0) return false;
  if (size) std::memcpy(pkt->data, bytes, size);
  pkt->stream_index = t.stream->index;
  pkt->pts = pkt->dts = pts;
  pkt->duration = rescaledDuration;
  pkt->flags |= AV_PKT_FLAG_KEY;

  int ret = av_interleaved_write_frame(output_, pkt.get());
  if (ret >= 0 && output_->pb && output_->pb->error < 0) ret = output_->pb->error;
  if (ret < 0) {
    writeFailed_ = true;
    log::Line(std::string("MUX: fallo escribiendo audio en ") + ContainerName() +
              " (track=" + std::to_string(track) + ", " + RetText(ret) + ")");
    return false;
  }
  t.lastPts = ptsUsed;
  t.lastDuration = duration;
  t.lastDts = pts;
  return true;
}

bool Mp4Muxer::Close() { return Finish(true); }

void Mp4Muxer::Abort() { Finish(false); }

bool Mp4Muxer::Finish(bool publish) {
  if (!output_) return false;
  bool ok = publish && headerWritten_ && !writeFailed_;
  if (ok) {
    const int ret = av_write_trailer(output_);
    if (ret < 0) {
      log::Line(std::string(LogTag()) + " av_write_trailer fallo (" + RetText(ret) + ")");
      ok = false;
    }
  }
  if (fileOpen_) {
    if (output_->pb && output_->pb->error < 0) ok = false;
    if (avio_closep(&output_->pb) < 0) ok = false;
  }
  avformat_free_context(output_);
  output_ = nullptr;

  if (fileOpen_) {
    std::error_code ec;
    if (ok) {
      // On disk before it takes the clip's name: otherwise a power cut can leave the name on an
      // empty file.
      std::string why;
      if (!flush_(tempPath_, why)) {
        log::Line(std::string(LogTag()) + " no se pudo asegurar el clip en disco (" + why + "): " +
                  text::PathForLog(tempPath_));
        ok = false;
      }
    }
    if (ok) {
      std::filesystem::rename(tempPath_, finalPath_, ec);
      if (ec) {
        log::Line("MUX: no se pudo renombrar " + text::PathForLog(tempPath_) + " a " +
                  text::PathForLog(finalPath_) + " (" + ec.message() + ")");
        ok = false;
      } else {
        FlushFolderToDisk(finalPath_.parent_path());
      }
    }
    if (!ok) {
      if (publish && headerWritten_)
        log::Line(std::string(LogTag()) + " el clip no se completo; se elimina " +
                  text::PathForLog(tempPath_));
      partialRemoved_ = std::filesystem::remove(tempPath_, ec);
    }
  }

  fileOpen_ = false;
  writeFailed_ = false;
  headerWritten_ = false;
  video_ = nullptr;
  tracks_.clear();
  frameCounter_ = 0;
  frameDuration_ = 1;
  lastVideoDts_ = -1;
  matroska_ = false;
  codec_ = VideoCodec::H264;
  return ok;
}

}  // namespace halvex
