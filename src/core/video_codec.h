#pragma once
// The video codec of a capture configuration; persisted as an integer by the settings.
#include <cstdint>

namespace halvex {

enum class VideoCodec : uint32_t { H264 = 0, Hevc = 1, Av1 = 2 };

// Unknown values behave as H.264.
inline VideoCodec VideoCodecFromInt(int64_t value) {
  if (value == 1) return VideoCodec::Hevc;
  if (value == 2) return VideoCodec::Av1;
  return VideoCodec::H264;
}

inline const char* VideoCodecDisplayName(VideoCodec codec) {
  switch (codec) {
    case VideoCodec::Hevc:
      return "H.265 / HEVC";
    case VideoCodec::Av1:
      return "AV1";
    default:
      return "H.264 / AVC";
  }
}

}  // namespace halvex
