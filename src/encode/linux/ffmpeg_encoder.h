#pragma once
// IEncoder over libavcodec for BGRA pictures in memory. Opens the first encoder that works for the codec:
// NVENC, then VAAPI, then software (libx264, libx265, libaom-av1).
#include <cstdint>
#include <string>

#include "encode/encoder.h"
#include "encode/linux/encoder_profiles.h"
#include "core/ffmpeg_handles.h"

namespace halvex {

class FfmpegEncoder final : public IEncoder {
 public:
  // `onlyEncoder` limits the choice to one libavcodec encoder name (benchmarks, tests).
  explicit FfmpegEncoder(std::string onlyEncoder = {});
  ~FfmpegEncoder() override;

  using IEncoder::EncodeFrame;
  using IEncoder::Initialize;
  bool Initialize(int width, int height, int fps, int kbps, VideoCodec codec) override;
  bool EncodeFrame(const Picture& surface, PacketBytes& bytes, bool& isKeyframe,
                   bool forceKeyframe) override;
  void Shutdown() override;

  // Software encoders (libx264, libx265, libaom-av1) adapt; VAAPI and NVENC do not.
  bool AdaptsToLoad() const override;
  bool CanSpeedUp() const override;
  bool SpeedUp() override;
  bool ChangeFrameRate(int fps) override;
  std::string SpeedSetting() const override;

  // The libavcodec name of the open encoder; empty when closed.
  const std::string& EncoderName() const { return encoderName_; }
  // The encoder opened last (the counters are printed after it closed), "libavcodec" before any.
  std::string MechanismName() const override {
    return lastOpened_.empty() ? "libavcodec" : lastOpened_;
  }

 private:
  bool Open(const EncoderCandidate& candidate, int fps, int kbps);
  // Closes and opens the same encoder again with `fps` and `speedStep`.
  bool Reopen(int fps, size_t speedStep);
  bool PrepareVaapi(const AVCodec* codec);
  bool Drain(PacketBytes& bytes, bool& isKeyframe);

  std::string onlyEncoder_;
  std::string encoderName_;
  std::string lastOpened_;
  VideoCodec codec_ = VideoCodec::H264;
  int width_ = 0;
  int height_ = 0;
  int fps_ = 1;
  int kbps_ = 1;
  size_t speedStep_ = 0;  // index into SpeedSettings of the open encoder
  EncoderCandidate opened_{{}, EncoderFamily::Software};
  int64_t nextPts_ = 0;

  ff::BufferPtr hwDevice_;
  ff::BufferPtr hwFrames_;
  ff::CodecContextPtr context_;
  ff::SwsPtr sws_;
  ff::FramePtr frame_;    // converted picture in the encoder's software format
  ff::FramePtr hwFrame_;  // VAAPI surface the picture is uploaded to
  ff::PacketPtr packet_;
};

}  // namespace halvex
