#include "encode/linux/ffmpeg_encoder.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <string>

#include "core/linux/native_picture.h"
#include "core/log.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

namespace halvex {
namespace {

constexpr auto kOutputWait = std::chrono::milliseconds(250);

std::string SizeText(int width, int height, int fps, int kbps) {
  return std::to_string(width) + "x" + std::to_string(height) + " @ " + std::to_string(fps) +
         "fps, " + std::to_string(kbps) + " kbps";
}

// The software format the encoder takes: planar 4:2:0 where offered, else NV12.
AVPixelFormat SoftwareFormat(const AVCodec* codec) {
  if (!codec->pix_fmts) return AV_PIX_FMT_YUV420P;
  AVPixelFormat fallback = AV_PIX_FMT_NONE;
  for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
    if (*f == AV_PIX_FMT_YUV420P) return *f;
    if (*f == AV_PIX_FMT_NV12) fallback = *f;
  }
  return fallback;
}

}  // namespace

FfmpegEncoder::FfmpegEncoder(std::string onlyEncoder) : onlyEncoder_(std::move(onlyEncoder)) {}

FfmpegEncoder::~FfmpegEncoder() { Shutdown(); }

bool FfmpegEncoder::Initialize(int width, int height, int fps, int kbps, VideoCodec codec) {
  Shutdown();
  codec_ = codec;
  width_ = width;
  height_ = height;
  if (width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0) {
    log::Line("[VIDEO] AVISO: tamano de video no valido para el codificador (" +
              std::to_string(width) + "x" + std::to_string(height) + ").");
    return false;
  }
  const int fpsUsed = std::max(fps, 1);
  const int kbpsUsed = std::max(kbps, 1);
  speedStep_ = 0;

  const auto candidates = onlyEncoder_.empty()
                              ? EncoderCandidates(codec)
                              : std::vector<EncoderCandidate>{CandidateNamed(onlyEncoder_)};
  for (const EncoderCandidate& candidate : candidates) {
    if (Open(candidate, fpsUsed, kbpsUsed)) {
      encoderName_ = candidate.name;
      opened_ = candidate;
      fps_ = fpsUsed;
      kbps_ = kbpsUsed;
      lastOpened_ = encoderName_;
      log::Line("[VIDEO] Codificador de video: " + candidate.name + " para " +
                VideoCodecDisplayName(codec) + " (" + SizeText(width, height, fps, kbps) +
                ", CBR).");
      return true;
    }
    Shutdown();
    codec_ = codec;
    width_ = width;
    height_ = height;
  }
  log::Line(std::string("[VIDEO] AVISO: ningun codificador de video pudo abrirse para ") +
            VideoCodecDisplayName(codec) + ".");
  return false;
}

bool FfmpegEncoder::PrepareVaapi(const AVCodec* codec) {
  AVBufferRef* device = nullptr;
  int rc = av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_VAAPI, nullptr, nullptr, 0);
  if (rc < 0) {
    log::Line(std::string("[VIDEO] ") + codec->name + " no disponible: no hay dispositivo VAAPI " +
              ff::ErrorCodeText(rc) + ".");
    return false;
  }
  hwDevice_.reset(device);
  hwFrames_.reset(av_hwframe_ctx_alloc(hwDevice_.get()));
  if (!hwFrames_) return false;
  auto* frames = reinterpret_cast<AVHWFramesContext*>(hwFrames_->data);
  frames->format = AV_PIX_FMT_VAAPI;
  frames->sw_format = AV_PIX_FMT_NV12;
  frames->width = width_;
  frames->height = height_;
  frames->initial_pool_size = 4;
  rc = av_hwframe_ctx_init(hwFrames_.get());
  if (rc < 0) {
    log::Line(std::string("[VIDEO] ") + codec->name + " no disponible: superficies VAAPI " +
              ff::ErrorCodeText(rc) + ".");
    return false;
  }
  context_->pix_fmt = AV_PIX_FMT_VAAPI;
  context_->hw_frames_ctx = av_buffer_ref(hwFrames_.get());
  return context_->hw_frames_ctx != nullptr;
}

bool FfmpegEncoder::Open(const EncoderCandidate& candidate, int fps, int kbps) {
  const AVCodec* codec = avcodec_find_encoder_by_name(candidate.name.c_str());
  if (!codec) {
    log::Line("[VIDEO] " + candidate.name + " no esta disponible en esta compilacion de FFmpeg.");
    return false;
  }
  context_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  packet_.reset(av_packet_alloc());
  if (!context_ || !frame_ || !packet_) return false;
  context_->width = width_;
  context_->height = height_;

  AVPixelFormat swFormat = AV_PIX_FMT_NV12;
  if (candidate.family == EncoderFamily::Vaapi) {
    if (!PrepareVaapi(codec)) return false;
    hwFrame_.reset(av_frame_alloc());
    if (!hwFrame_) return false;
  } else {
    swFormat = SoftwareFormat(codec);
    if (swFormat == AV_PIX_FMT_NONE) {
      log::Line("[VIDEO] " + candidate.name + " no acepta imagenes 4:2:0 de 8 bits.");
      return false;
    }
    context_->pix_fmt = swFormat;
  }

  AVDictionary* options = nullptr;
  ApplyStreamSettings(candidate, fps, kbps, context_.get(), &options, speedStep_);
  const int rc = avcodec_open2(context_.get(), codec, &options);
  av_dict_free(&options);
  if (rc < 0) {
    log::Line("[VIDEO] no se pudo abrir " + candidate.name + " para " +
              VideoCodecDisplayName(codec_) + " " + ff::ErrorCodeText(rc) + ".");
    return false;
  }

  frame_->format = swFormat;
  frame_->width = width_;
  frame_->height = height_;
  if (av_frame_get_buffer(frame_.get(), 0) < 0) return false;

  // The one colour conversion of the pipeline: full-range BGRA to limited-range BT.709 4:2:0.
  sws_.reset(sws_getContext(width_, height_, AV_PIX_FMT_BGRA, width_, height_, swFormat,
                            SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!sws_) {
    log::Line("[VIDEO] no se pudo preparar la conversion de color para " + candidate.name + ".");
    return false;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(sws_.get(), bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  nextPts_ = 0;
  return true;
}

bool FfmpegEncoder::AdaptsToLoad() const {
  return context_ != nullptr && opened_.family == EncoderFamily::Software;
}

bool FfmpegEncoder::CanSpeedUp() const {
  return AdaptsToLoad() && speedStep_ + 1 < SpeedSettings(opened_).size();
}

std::string FfmpegEncoder::SpeedSetting() const {
  const auto settings = SpeedSettings(opened_);
  return speedStep_ < settings.size() ? settings[speedStep_] : std::string();
}

bool FfmpegEncoder::SpeedUp() {
  if (!CanSpeedUp()) return false;
  return Reopen(fps_, speedStep_ + 1);
}

bool FfmpegEncoder::ChangeFrameRate(int fps) {
  if (!context_) return false;
  return Reopen(std::max(fps, 1), speedStep_);
}

bool FfmpegEncoder::Reopen(int fps, size_t speedStep) {
  const EncoderCandidate candidate = opened_;
  const VideoCodec codec = codec_;
  Shutdown();
  codec_ = codec;
  speedStep_ = speedStep;
  if (!Open(candidate, fps, kbps_)) {
    Shutdown();
    log::Line("[VIDEO] AVISO: no se pudo reabrir " + candidate.name + " a " +
              SizeText(width_, height_, fps, kbps_) + ".");
    return false;
  }
  encoderName_ = candidate.name;
  fps_ = fps;
  return true;
}

bool FfmpegEncoder::EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe,
                                bool forceKeyframe) {
  bytes.clear();
  isKeyframe = false;
  const CpuPicture& image = ImageOf(surface);
  if (!context_ || image.empty() || image.width != width_ || image.height != height_) {
    return false;
  }
  if (av_frame_make_writable(frame_.get()) < 0) return false;
  const uint8_t* srcPlanes[1] = {image.pixels.get()};
  const int srcStrides[1] = {image.stride};
  sws_scale(sws_.get(), srcPlanes, srcStrides, 0, height_, frame_->data, frame_->linesize);

  AVFrame* input = frame_.get();
  if (hwFrame_) {
    av_frame_unref(hwFrame_.get());
    if (av_hwframe_get_buffer(hwFrames_.get(), hwFrame_.get(), 0) < 0) return false;
    if (av_hwframe_transfer_data(hwFrame_.get(), frame_.get(), 0) < 0) return false;
    input = hwFrame_.get();
  }
  input->pts = nextPts_++;
  input->pict_type = forceKeyframe ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  if (avcodec_send_frame(context_.get(), input) < 0) return false;
  return Drain(bytes, isKeyframe);
}

bool FfmpegEncoder::Drain(PacketBytes& bytes, bool& isKeyframe) {
  // Hardware encoders may finish a picture a moment after it was sent: wait briefly, so that every
  // call hands back its own picture.
  const auto giveUp = std::chrono::steady_clock::now() + kOutputWait;
  for (;;) {
    const int rc = avcodec_receive_packet(context_.get(), packet_.get());
    if (rc == AVERROR(EAGAIN) && bytes.empty() && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) break;
    if (rc < 0) return false;
    bytes.insert(bytes.end(), packet_->data, packet_->data + packet_->size);
    if (packet_->flags & AV_PKT_FLAG_KEY) isKeyframe = true;
    av_packet_unref(packet_.get());
  }
  return !bytes.empty();
}

void FfmpegEncoder::Shutdown() {
  packet_.reset();
  hwFrame_.reset();
  frame_.reset();
  sws_.reset();
  context_.reset();
  hwFrames_.reset();
  hwDevice_.reset();
  encoderName_.clear();
  nextPts_ = 0;
}

}  // namespace halvex
