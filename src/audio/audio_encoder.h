#pragma once
// Audio encoders: interleaved 32-bit float in, AAC-LC / ALAC / Opus packets out.
#include <cstdint>
#include <string>
#include <vector>

#include "audio/audio_encoder_stream.h"

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct SwrContext;

namespace halvex {

// Persisted as an integer by the settings.
enum class AudioFormat : int32_t { AacLc = 0, Alac = 1, Opus = 2 };

// Values outside the known formats behave as AAC-LC.
AudioFormat AudioFormatFromInt(int32_t value);
const char* AudioFormatDisplayName(AudioFormat format);

// Whether this FFmpeg build can encode the format (the audio menu greys out the others).
bool IsFormatAvailable(AudioFormat format);

class IAudioEncoder {
 public:
  virtual ~IAudioEncoder() = default;
  // AAC-LC, output rate = input rate.
  virtual bool Initialize(int sampleRate, int channels, int kbps) = 0;
  // `samples` holds frameCount × channels interleaved floats at the input rate. Completed packets
  // are appended to `packets`. True also when there is nothing to do.
  virtual bool Encode(const float* samples, int frameCount,
                      std::vector<EncodedAudioPacket>& packets) = 0;
  virtual int GetFrameSize() const = 0;
  virtual const std::vector<uint8_t>& GetExtradata() const = 0;
  virtual void Close() = 0;
};

class AacEncoder final : public IAudioEncoder {
 public:
  AacEncoder() = default;
  ~AacEncoder() override;
  AacEncoder(const AacEncoder&) = delete;
  AacEncoder& operator=(const AacEncoder&) = delete;

  bool Initialize(int sampleRate, int channels, int kbps) override;
  bool Encode(const float* samples, int frameCount,
              std::vector<EncodedAudioPacket>& packets) override;
  int GetFrameSize() const override { return frameSize_; }
  const std::vector<uint8_t>& GetExtradata() const override { return extradata_; }
  void Close() override;

  bool Initialize(int inputRate, int channels, int outputRate, int kbps, AudioFormat format);
  // Drops the partly filled frame, flushes the codec and restarts the resampler. The running
  // sample counter keeps counting so time stamps never go back.
  void Reset();

  bool IsOpen() const { return context_ != nullptr; }
  AudioFormat Format() const { return format_; }
  int OutputRate() const { return outputRate_; }
  int64_t SamplesEncoded() const { return sampleCounter_; }
  // The description the muxer needs for this track; empty when closed.
  AudioStreamParams GetStreamParams() const;

 private:
  bool InitResampler();
  bool FlushFullFrame(std::vector<EncodedAudioPacket>& packets);
  bool ReceivePackets(std::vector<EncodedAudioPacket>& packets);
  void FreePendingFrame();

  const AVCodec* codec_ = nullptr;
  AVCodecContext* context_ = nullptr;
  SwrContext* resampler_ = nullptr;
  AVFrame* pending_ = nullptr;
  int pendingFill_ = 0;
  AudioFormat format_ = AudioFormat::AacLc;
  int inputRate_ = 0;
  int outputRate_ = 0;
  int channels_ = 0;
  int kbps_ = 0;
  int sampleFormat_ = -1;
  int profile_ = -99;
  int frameSize_ = 0;
  int64_t sampleCounter_ = 0;
  std::vector<uint8_t> extradata_;
};

}  // namespace halvex
