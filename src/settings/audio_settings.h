#pragma once
// Audio devices, audio quality and the mixer's per-application levels.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "audio/audio_encoder.h"  // AudioFormat
#include "settings/profile_store.h"

namespace halvex::settings {

// Empty = the system's default device.
std::string ReadRenderDeviceId(const ProfileStore& store = UserSettings());
bool WriteRenderDeviceId(std::string_view id, const ProfileStore& store = UserSettings());
std::string ReadMicrophoneDeviceId(const ProfileStore& store = UserSettings());
bool WriteMicrophoneDeviceId(std::string_view id, const ProfileStore& store = UserSettings());

struct AudioQualitySettings {
  int32_t sampleRate = 48000;  // Hz
  int32_t bitrateKbps = 256;
  AudioFormat format = AudioFormat::AacLc;
  bool editorTracks = true;  // mix, game and microphone also as separate tracks

  friend bool operator==(const AudioQualitySettings&, const AudioQualitySettings&) = default;
};

// Whether the FFmpeg build in use offers an encoder for the format (Opus: "libopus", else any
// Opus encoder).
bool AudioFormatUsable(AudioFormat format);

// Never fails: out-of-range values and formats without an encoder give the defaults.
AudioQualitySettings ReadAudioQualitySettings(const ProfileStore& store = UserSettings());
AudioQualitySettings ReadAudioQualitySettings(const ProfileStore& store,
                                              const std::function<bool(AudioFormat)>& usable);
bool WriteAudioQualitySettings(const AudioQualitySettings& quality,
                               const ProfileStore& store = UserSettings());

// The fixed identifier of the microphone's level.
inline constexpr std::string_view kMicrophoneMixerId = "__HALVEX_MICROPHONE__";

// "App_" and 16 upper-case hexadecimal digits of a 64-bit hash of the identifier's UTF-16 units
// (each folded as towlower does in the C locale).
std::string MixerLevelKey(std::string_view identifier);

// 0..1; 1.0 when missing or unreadable.
float ReadMixerLevel(std::string_view identifier, const ProfileStore& store = UserSettings());
bool WriteMixerLevel(std::string_view identifier, float level,
                     const ProfileStore& store = UserSettings());

}  // namespace halvex::settings
