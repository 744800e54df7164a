#pragma once
// The save shortcut's work on the main thread: check that a clip can be made, snapshot the
// histories and hand them to a save thread without waiting for it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/save_job.h"
#include "audio/audio_encoder_stream.h"
#include "audio/track_choice.h"
#include "core/packet_history.h"
#include "core/video_codec.h"
#include "settings/video_settings.h"

namespace halvex {

// What the running capture loop exposes to a save request.
class ISaveContext {
 public:
  virtual ~ISaveContext() = default;
  virtual bool SessionActive() const = 0;
  virtual std::string GameDisplayName() const = 0;
  // The video worker's backlog wait; false when pictures are still queued.
  virtual bool WaitForBacklog(uint32_t milliseconds) = 0;
  virtual const PacketHistory& VideoHistory() const = 0;
  virtual const PacketHistory& AudioHistory(AudioSource source) const = 0;
  // The source encoder's stream description, empty when it is closed.
  virtual AudioStreamParams StreamParams(AudioSource source) const = 0;
  // Does nothing when there is no overlay window.
  virtual void ShowOverlayMessage(const std::string& text) = 0;
};

struct SaveSettings {
  std::string shortcutText = "F8";
  double durationSeconds = 30;
  settings::VideoContainer container = settings::VideoContainer::Mp4;
  int32_t width = 0;      // below 1: capture size
  int32_t height = 0;
  int32_t captureWidth = 0;
  int32_t captureHeight = 0;
  bool vsync = false;
  bool fixedFrameRate = false;
  int32_t currentFrameRate = 0;
  VideoCodec codec = VideoCodec::H264;
  bool makeDiscordCopy = false;
  bool discordHevc = false;
  std::filesystem::path saveRoot;
};

enum class SaveOutcome {
  Started,
  Busy,
  NoSession,
  NoVideo,
  NoKeyframe,
  NoMainAudio,
  PathFailed,
  ThreadFailed
};

SaveOutcome RequestSave(ISaveContext& context, const AudioState& audio,
                        const SaveSettings& settings, SaveFlags& flags,
                        std::vector<std::thread>& threads);

}  // namespace halvex
