#include "settings/audio_settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/text.h"
#include "settings/setting_values.h"

namespace halvex::settings {

namespace {

constexpr std::string_view kAudio = "Audio";
constexpr std::string_view kQuality = "AudioQuality";
constexpr std::string_view kMixer = "AudioMixer";
constexpr size_t kDeviceIdUnits = 4095;

bool IsListedBitrate(int32_t kbps) { return IsOneOf(kbps, {128, 160, 192, 256, 320}); }

AudioFormat FormatFromText(std::string_view text) {
  if (text::EqualsIgnoreAsciiCase(text, "ALAC")) return AudioFormat::Alac;
  if (text::EqualsIgnoreAsciiCase(text, "Opus")) return AudioFormat::Opus;
  return AudioFormat::AacLc;  // "HE-AAC" and anything else
}

const char* FormatText(AudioFormat format) {
  switch (format) {
    case AudioFormat::Alac:
      return "ALAC";
    case AudioFormat::Opus:
      return "Opus";
    default:
      return "AAC-LC";
  }
}

// wcstod in the C locale, without its locale and hexadecimal forms: blanks, then a decimal number.
// Returns false when no character is consumed.
bool ParseLevelPercent(std::string_view text, double& value) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  text.remove_prefix(i);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) return false;
  }
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) {
    if (ec == std::errc::result_out_of_range && end != text.data()) {
      value = negative ? -HUGE_VAL : HUGE_VAL;
      return true;
    }
    return false;
  }
  if (negative) value = -value;
  return true;
}

}  // namespace

std::string ReadRenderDeviceId(const ProfileStore& store) {
  return store.GetString(kAudio, "RenderDeviceId", "", kDeviceIdUnits);
}

bool WriteRenderDeviceId(std::string_view id, const ProfileStore& store) {
  return store.WriteString(kAudio, "RenderDeviceId", id);
}

std::string ReadMicrophoneDeviceId(const ProfileStore& store) {
  return store.GetString(kAudio, "CaptureMicDeviceId", "", kDeviceIdUnits);
}

bool WriteMicrophoneDeviceId(std::string_view id, const ProfileStore& store) {
  return store.WriteString(kAudio, "CaptureMicDeviceId", id);
}

AudioQualitySettings ReadAudioQualitySettings(const ProfileStore& store) {
  return ReadAudioQualitySettings(store, AudioFormatUsable);
}

AudioQualitySettings ReadAudioQualitySettings(const ProfileStore& store,
                                              const std::function<bool(AudioFormat)>& usable) {
  AudioQualitySettings q;
  const int32_t rate = store.GetInt(kQuality, "SampleRate", 48000);
  const int32_t kbps = store.GetInt(kQuality, "BitrateKbps", 256);
  q.format = FormatFromText(store.GetString(kQuality, "Format", "AAC-LC", 63));
  q.editorTracks = store.GetInt(kQuality, "EditorTracks", 1) != 0;

  if (q.format == AudioFormat::Opus && usable(AudioFormat::Opus)) {
    q.sampleRate = 48000;  // Opus always runs at 48 kHz
    q.bitrateKbps = IsListedBitrate(kbps) ? kbps : 256;
    return q;
  }
  if (!usable(q.format)) q.format = AudioFormat::AacLc;
  q.sampleRate = IsOneOf(rate, {22050, 44100, 48000, 96000}) ? rate : 48000;
  if (q.format == AudioFormat::Alac) {
    q.bitrateKbps = 256;  // lossless: the bitrate means nothing
  } else {
    q.bitrateKbps = IsListedBitrate(kbps) ? kbps : 256;
  }
  return q;
}

bool WriteAudioQualitySettings(const AudioQualitySettings& q, const ProfileStore& store) {
  bool ok = WriteInt(store, kQuality, "SampleRate", q.sampleRate);
  ok &= WriteInt(store, kQuality, "BitrateKbps", q.bitrateKbps);
  ok &= WriteBool(store, kQuality, "EditorTracks", q.editorTracks);
  ok &= store.WriteString(kQuality, "Format", FormatText(q.format));
  return ok;
}

std::string MixerLevelKey(std::string_view identifier) {
  uint64_t hash = 0x14650FB0739D0383ull;
  for (char16_t unit : text::Utf8ToUtf16(identifier)) {
    const char16_t folded = unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit;
    hash ^= folded;
    hash *= 0x100000001B3ull;
  }
  char key[24];
  std::snprintf(key, sizeof key, "App_%016llX", static_cast<unsigned long long>(hash));
  return key;
}

float ReadMixerLevel(std::string_view identifier, const ProfileStore& store) {
  const std::string stored = store.GetString(kMixer, MixerLevelKey(identifier), "100", 63);
  double percent = 0;
  if (!ParseLevelPercent(stored, percent) || std::isnan(percent)) return 1.0f;
  return static_cast<float>(std::clamp(percent / 100.0, 0.0, 1.0));
}

bool WriteMixerLevel(std::string_view identifier, float level, const ProfileStore& store) {
  if (std::isnan(level)) level = 1.0f;
  level = std::clamp(level, 0.0f, 1.0f);
  return WriteInt(store, kMixer, MixerLevelKey(identifier),
                  static_cast<int32_t>(std::lroundf(level * 100.0f)));
}

}  // namespace halvex::settings
