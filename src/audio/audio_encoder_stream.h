#pragma once
// What a container needs to know about one encoded audio track. Plain data (no FFmpeg types) so
// that a copy can travel with a save job to another thread.
#include <cstdint>
#include <string>
#include <vector>

namespace halvex {

struct AudioStreamParams {
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t frameSize = 0;
  int32_t codecId = 0;  // AVCodecID; 0 means "no track"
  int32_t profile = -99;  // FF_PROFILE_UNKNOWN
  int32_t sampleFormat = -1;  // AVSampleFormat
  int64_t bitRate = 0;
  int32_t bitsPerCodedSample = 0;
  int32_t blockAlign = 0;
  int32_t initialPadding = 0;
  int32_t trailingPadding = 0;
  int32_t seekPreroll = 0;
  std::string channelLayout;     // FFmpeg layout description, may be empty
  std::vector<uint8_t> extradata;  // codec configuration, may be empty

  bool empty() const { return codecId == 0; }
};

// One encoded audio frame as it leaves the encoder.
struct EncodedAudioPacket {
  std::vector<uint8_t> bytes;
  int64_t pts = 0;       // samples at the output rate
  int64_t duration = 0;  // samples
};

}  // namespace halvex
