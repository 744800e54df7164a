#pragma once
// Video quality of the capture and of the Discord copy.
#include <cstdint>

#include "core/video_codec.h"  // VideoCodec
#include "settings/profile_store.h"

namespace halvex::settings {

enum class VideoContainer : int32_t { Mp4 = 0, Mkv = 1 };

struct VideoQualitySettings {
  int32_t width = 0;   // 0 x 0: the captured source's own size
  int32_t height = 0;
  int32_t fps = 60;    // 0 = unlimited
  int32_t bitrateKbps = 20000;
  VideoContainer container = VideoContainer::Mp4;
  VideoCodec codec = VideoCodec::H264;
  bool vsync = false;
  bool discordClip = false;  // also write the 20 MiB copy
  VideoCodec discordCodec = VideoCodec::Hevc;  // H.264 or HEVC

  friend bool operator==(const VideoQualitySettings&, const VideoQualitySettings&) = default;
};

VideoQualitySettings ReadVideoQualitySettings(const ProfileStore& store = UserSettings());
bool WriteVideoQualitySettings(const VideoQualitySettings& quality,
                               const ProfileStore& store = UserSettings());

}  // namespace halvex::settings
