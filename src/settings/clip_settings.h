#pragma once
// Clip length and save folder.
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/profile_store.h"

namespace halvex::settings {

// 10, 15, 20, 30, 45, 60, 90, 120, 180, 240 or 300 seconds.
bool IsAcceptedClipDuration(int32_t seconds);

// Seconds; 30 when missing or not an accepted length.
int32_t ReadClipDurationSeconds(const ProfileStore& store = UserSettings());
// Stores the length, 30 when it is not an accepted one.
bool WriteClipDurationSeconds(int32_t seconds, const ProfileStore& store = UserSettings());

// Empty = the default save folder.
std::string ReadSaveRoot(const ProfileStore& store = UserSettings());
bool WriteSaveRoot(std::string_view folder, const ProfileStore& store = UserSettings());

}  // namespace halvex::settings
