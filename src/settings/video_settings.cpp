#include "settings/video_settings.h"

#include <string>

#include "core/text.h"
#include "settings/setting_values.h"

namespace halvex::settings {

namespace {

constexpr std::string_view kVideo = "VideoQuality";

bool Is(std::string_view text, std::string_view name) {
  return text::EqualsIgnoreAsciiCase(text, name);
}

}  // namespace

VideoQualitySettings ReadVideoQualitySettings(const ProfileStore& store) {
  VideoQualitySettings q;
  int32_t width = store.GetInt(kVideo, "Width", 0);
  int32_t height = store.GetInt(kVideo, "Height", 0);
  const int32_t fps = store.GetInt(kVideo, "FPS", 60);
  const int32_t kbps = store.GetInt(kVideo, "BitrateKbps", 20000);
  const std::string container = store.GetString(kVideo, "Format", "MP4", 31);
  const std::string codec = store.GetString(kVideo, "Codec", "H264", 31);
  q.vsync = store.GetInt(kVideo, "VSync", 0) != 0;
  q.discordClip = store.GetInt(kVideo, "DiscordClip20MB", 0) != 0;
  const std::string discordCodec = store.GetString(kVideo, "DiscordClipCodec", "HEVC", 31);

  q.fps = IsOneOf(fps, {0, 24, 30, 60, 120}) ? fps : 60;
  q.bitrateKbps = kbps >= 2000 && kbps <= 80000 ? kbps : 20000;
  if (width < 0 || height < 0 || (width == 0) != (height == 0)) width = height = 0;
  q.width = width;
  q.height = height;
  q.container = Is(container, "MKV") ? VideoContainer::Mkv : VideoContainer::Mp4;
  if (Is(codec, "HEVC") || Is(codec, "H265")) {
    q.codec = VideoCodec::Hevc;
  } else if (Is(codec, "AV1")) {
    q.codec = VideoCodec::Av1;
  } else {
    q.codec = VideoCodec::H264;
  }
  // The Discord copy has no AV1 encoder: an AV1 choice reads back as HEVC.
  const bool hevc = Is(discordCodec, "HEVC") || Is(discordCodec, "H265") || Is(discordCodec, "AV1");
  q.discordCodec = hevc ? VideoCodec::Hevc : VideoCodec::H264;
  return q;
}

bool WriteVideoQualitySettings(const VideoQualitySettings& q, const ProfileStore& store) {
  bool ok = WriteInt(store, kVideo, "Width", q.width);
  ok &= WriteInt(store, kVideo, "Height", q.height);
  ok &= WriteInt(store, kVideo, "FPS", q.fps);
  ok &= WriteInt(store, kVideo, "BitrateKbps", q.bitrateKbps);
  ok &= store.WriteString(kVideo, "Format", q.container == VideoContainer::Mkv ? "MKV" : "MP4");
  const char* codec = q.codec == VideoCodec::Hevc ? "HEVC" : q.codec == VideoCodec::Av1 ? "AV1"
                                                                                       : "H264";
  ok &= store.WriteString(kVideo, "Codec", codec);
  ok &= WriteBool(store, kVideo, "VSync", q.vsync);
  ok &= WriteBool(store, kVideo, "DiscordClip20MB", q.discordClip);
  ok &= store.WriteString(kVideo, "DiscordClipCodec",
                          q.discordCodec == VideoCodec::Hevc ? "HEVC" : "H264");
  return ok;
}

}  // namespace halvex::settings
