#pragma once
// One clip on its way to disk: everything the save thread needs, moved out of the histories.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "audio/audio_encoder_stream.h"
#include "core/encoded_packet.h"
#include "core/video_codec.h"

namespace halvex {

// Owned by the main loop, shared with save threads by pointer.
struct SaveFlags {
  std::atomic<bool> saving{false};  // from thread start until it ends, copy included
  std::atomic<bool> exporting{false};
  std::atomic<int32_t> exportProgress{0};
  std::atomic<uint64_t> clipsSaved{0};
  std::atomic<uint64_t> clipSavedNotices{0};
  std::atomic<uint64_t> copyReadyNotices{0};
};

struct SaveJob {
  std::filesystem::path path;
  std::vector<EncodedPacket> video;
  std::vector<EncodedPacket> mainAudio;
  std::vector<EncodedPacket> micAudio;
  std::vector<EncodedPacket> gameAudio;
  bool hasMain = false;
  bool hasMic = false;
  bool hasGame = false;
  AudioStreamParams mainParams;
  AudioStreamParams micParams;
  AudioStreamParams gameParams;
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t frameRate = 0;  // 0: variable
  VideoCodec codec = VideoCodec::H264;
  bool makeDiscordCopy = false;
  bool discordHevc = false;
  int64_t start = 0;
  int64_t end = 0;
  SaveFlags* flags = nullptr;
};

// The save thread's body. Returns true when the clip was published.
bool RunSaveJob(std::unique_ptr<SaveJob> job);

}  // namespace halvex
