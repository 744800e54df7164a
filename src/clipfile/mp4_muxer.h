#pragma once
// Writes one clip: a video track of already-encoded pictures and any number of encoded audio
// tracks, as MP4 or Matroska (chosen by the file's extension).
//
// The clip is written under a temporary name beside the final one ("<name>.part"), flushed to the
// disk and renamed when Close() completes it, so a crash, a failed write or a power cut never
// leaves a broken file under the clip's name.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "audio/audio_encoder_stream.h"
#include "core/video_codec.h"

struct AVFormatContext;
struct AVStream;
struct AVPacket;

namespace halvex {

class IMuxer {
 public:
  virtual ~IMuxer() = default;
  virtual bool Open(const std::filesystem::path& path, uint32_t width, uint32_t height,
                    int32_t fps, VideoCodec codec) = 0;
  // Time stamps from a frame counter.
  virtual bool WriteVideoPacket(const uint8_t* bytes, size_t size, bool isKeyframe) = 0;
  // Before the first video packet. Returns the track index or -1.
  virtual int AddAudioTrack(const AudioStreamParams& params, const std::string& title) = 0;
  // Time stamps from the track's sample counter.
  virtual bool WriteAudioPacket(int track, const uint8_t* bytes, size_t size) = 0;
  // Finishes the file and publishes it under its final name. True only when a complete clip was
  // published by this call; otherwise nothing is left on disk.
  virtual bool Close() = 0;
};

// Forces a finished file to the disk; false with the system's reason in `error`.
using FileFlush = std::function<bool(const std::filesystem::path&, std::string& error)>;

class Mp4Muxer final : public IMuxer {
 public:
  Mp4Muxer();  // flushes through the system (FlushFileToDisk)
  explicit Mp4Muxer(FileFlush flush);
  ~Mp4Muxer() override;
  Mp4Muxer(const Mp4Muxer&) = delete;
  Mp4Muxer& operator=(const Mp4Muxer&) = delete;

  bool Open(const std::filesystem::path& path, uint32_t width, uint32_t height, int32_t fps,
            VideoCodec codec) override;
  bool WriteVideoPacket(const uint8_t* bytes, size_t size, bool isKeyframe) override;
  int AddAudioTrack(const AudioStreamParams& params, const std::string& title) override;
  bool WriteAudioPacket(int track, const uint8_t* bytes, size_t size) override;
  bool Close() override;

  bool WriteVideoPacketAt(const uint8_t* bytes, size_t size, bool isKeyframe,
                          int64_t ptsMicroseconds, int64_t durationMicroseconds);
  bool WriteAudioPacketAt(int track, const uint8_t* bytes, size_t size, int64_t ptsSamples,
                          int64_t durationSamples);

  // Closes without publishing: whatever was written is removed.
  void Abort();

  bool IsOpen() const { return output_ != nullptr; }
  bool IsMatroska() const { return matroska_; }
  int32_t Fps() const { return fps_; }
  size_t AudioTrackCount() const { return tracks_.size(); }
  // True when the last Close() or Abort() removed an unfinished file it had written.
  bool PartialFileRemoved() const { return partialRemoved_; }
  // Where the clip is being written until Close() publishes it.
  const std::filesystem::path& TemporaryPath() const { return tempPath_; }

  // "<name>.part" in the same folder.
  static std::filesystem::path TemporaryPathFor(const std::filesystem::path& path);

 private:
  struct AudioTrack {
    AVStream* stream = nullptr;
    int32_t sampleRate = 48000;
    int32_t frameSize = 1024;
    int64_t nextSample = 0;
    int64_t lastPts = -1;
    int64_t lastDuration = 0;
    int64_t lastDts = -1;
  };

  bool WriteHeader(const uint8_t* bytes, size_t size);
  bool WriteVideo(const uint8_t* bytes, size_t size, bool isKeyframe, int64_t pts,
                  int64_t duration, bool fromMicroseconds);
  bool Finish(bool publish);
  const char* ContainerName() const { return matroska_ ? "MKV" : "MP4"; }
  const char* LogTag() const { return matroska_ ? "MKV:" : "MUX:"; }

  AVFormatContext* output_ = nullptr;
  AVStream* video_ = nullptr;
  bool fileOpen_ = false;
  bool writeFailed_ = false;
  bool partialRemoved_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  int32_t fps_ = 60;
  VideoCodec codec_ = VideoCodec::H264;
  bool matroska_ = false;
  bool headerWritten_ = false;
  int64_t frameCounter_ = 0;
  int32_t frameDuration_ = 1;
  int64_t lastVideoDts_ = -1;
  std::vector<AudioTrack> tracks_;
  std::filesystem::path finalPath_;
  std::filesystem::path tempPath_;
  FileFlush flush_;
};

}  // namespace halvex
