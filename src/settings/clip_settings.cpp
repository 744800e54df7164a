#include "settings/clip_settings.h"

#include "settings/setting_values.h"

namespace halvex::settings {

namespace {

constexpr std::string_view kClip = "ClipSettings";

}  // namespace

bool IsAcceptedClipDuration(int32_t seconds) {
  return IsOneOf(seconds, {10, 15, 20, 30, 45, 60, 90, 120, 180, 240, 300});
}

int32_t ReadClipDurationSeconds(const ProfileStore& store) {
  const int32_t seconds = store.GetInt(kClip, "DurationSeconds", 30);
  return IsAcceptedClipDuration(seconds) ? seconds : 30;
}

bool WriteClipDurationSeconds(int32_t seconds, const ProfileStore& store) {
  return WriteInt(store, kClip, "DurationSeconds", IsAcceptedClipDuration(seconds) ? seconds : 30);
}

std::string ReadSaveRoot(const ProfileStore& store) {
  return store.GetString(kClip, "SaveRoot", "", 32767);
}

bool WriteSaveRoot(std::string_view folder, const ProfileStore& store) {
  return store.WriteString(kClip, "SaveRoot", folder);
}

}  // namespace halvex::settings
