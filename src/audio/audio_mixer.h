#pragma once
// The per-process side of the sound: the game-only stream (the game's process tree) and the
// application mix (the game plus every other program on the selected output, each at its own
// level), summed and peak-limited block by block on the capture loop's thread.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/audio_sources.h"
#include "audio/microphone_mix.h"
#include "audio/pending_audio.h"

namespace halvex {

struct MixSource {
  AudioProcessId pid = 0;
  std::string identity;  // what the level key is made from (lower-case executable name)
  std::string key;       // "App_..." level key
  std::string name;      // shown in the mixer menu
  float volume = 1.0f;
  bool capturing = false;
  std::unique_ptr<IProcessCapture> capture;
  PendingAudio pending;
};

class AudioMixer {
 public:
  static constexpr size_t kMaxSources = 24;
  static constexpr float kPeakLimit = 0.98f;
  static constexpr int kPendingFrames = 24000;  // half a second at 48 kHz

  // `ownPid` is never a source. The sessions object must outlive the mixer.
  AudioMixer(IAudioSessions& sessions, AudioProcessId ownPid);
  ~AudioMixer();
  AudioMixer(const AudioMixer&) = delete;
  AudioMixer& operator=(const AudioMixer&) = delete;

  void SetRenderDevice(std::string deviceId) { deviceId_ = std::move(deviceId); }

  // Re-reads the sessions, starts captures for new programs, drops those that left, keeps the
  // levels. Returns whether the list changed.
  bool RefreshSources();

  // The game of the session: `imageName` decides its exclusion and level key; `inTree` tells which
  // processes belong to its tree (they are the game, not separate programs). pid 0 clears it.
  void SetTargetProcess(AudioProcessId pid, std::string imageName = {},
                        std::function<bool(AudioProcessId)> inTree = {});
  void SetExcludedAudio(std::vector<std::string> names);
  void SetVolume(std::string_view key, float value);

  // Fills both outputs with frames × channels samples. False when frames is 0 or no per-process
  // capture ever existed (no output format yet).
  bool MixFrames(int frames, std::vector<float>& mixOut, std::vector<float>& gameOut,
                 int& outRate, int& outChannels) {
    return MixFrames(frames, 0, mixOut, gameOut, outRate, outChannels);
  }
  // The same for a block whose first sample is at `startNs` on the capture clock: each program
  // contributes what it played during the block, however late its sound reached us.
  bool MixFrames(int frames, int64_t startNs, std::vector<float>& mixOut,
                 std::vector<float>& gameOut, int& outRate, int& outChannels);

  // Stops every capture, the game's included, and empties the lists.
  void Stop();

  bool ResampleMicrophoneForMix(const std::vector<float>& samples, int inRate, int inChannels,
                                int outRate, int outChannels, std::vector<float>& out) {
    return microphone_.Convert(samples, inRate, inChannels, outRate, outChannels, out);
  }

  const std::vector<MixSource>& Sources() const { return sources_; }
  bool GameCapturing() const;
  bool GameExcluded() const { return gameExcluded_; }
  float GameVolume() const { return gameVolume_; }
  const std::string& GameKey() const { return gameKey_; }
  int OutputRate() const { return outRate_; }
  int OutputChannels() const { return outChannels_; }
  bool PerProcessSupported() const { return sessions_.PerProcessSupported(); }

 private:
  bool IsExcluded(const std::string& lowerImage) const;
  bool InGameTree(AudioProcessId pid) const;
  void StartGameCapture();
  void StopGameCapture();
  void UseProcessFormat();
  void Drain(IProcessCapture& capture, PendingAudio& pending) const;

  IAudioSessions& sessions_;
  AudioProcessId ownPid_;
  std::string deviceId_;
  std::vector<std::string> excluded_;
  int outRate_ = 0;
  int outChannels_ = 0;

  AudioProcessId gamePid_ = 0;
  std::string gameImage_;
  std::string gameKey_;
  std::function<bool(AudioProcessId)> gameTree_;
  bool gameExcluded_ = false;
  float gameVolume_ = 1.0f;
  std::unique_ptr<IProcessCapture> gameCapture_;
  PendingAudio gamePending_;

  std::vector<MixSource> sources_;
  std::string changeKey_;
  MicrophoneResampler microphone_;
};

}  // namespace halvex
