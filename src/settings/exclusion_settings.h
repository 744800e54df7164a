#pragma once
// The user's excluded programs: one list for video (never a capture target) and one for audio.
#include <string>
#include <string_view>
#include <vector>

#include "settings/profile_store.h"

namespace halvex::settings {

struct ExclusionLists {
  // Lower-case program file names, sorted ascending, without duplicates.
  std::vector<std::string> video;
  std::vector<std::string> audio;

  friend bool operator==(const ExclusionLists&, const ExclusionLists&) = default;
};

inline constexpr size_t kMaxExcludedPrograms = 128;

// Names are brought to their stored form; invalid ones are dropped, the rest sorted and made
// unique. The result is what the readers would give back.
std::vector<std::string> NormalizeExclusionList(const std::vector<std::string>& names);

ExclusionLists ReadExclusionLists(const ProfileStore& store = UserSettings());

// One list under `prefix` ("Video" or "Audio"): prefix + "Count", then prefix + "0", ...
bool WriteExclusionList(std::string_view prefix, const std::vector<std::string>& names,
                        const ProfileStore& store = UserSettings());
// What a change of the exclusions stores: the whole section is removed first, so no entry of a
// longer old list survives, then the video list and the audio list.
bool WriteExclusionLists(const ExclusionLists& lists, const ProfileStore& store = UserSettings());

}  // namespace halvex::settings
