#include "settings/exclusion_settings.h"

#include <algorithm>

#include "settings/executable_name.h"
#include "settings/setting_values.h"

namespace halvex::settings {

namespace {

constexpr std::string_view kExcluded = "ExcludedPrograms";
constexpr size_t kNameUnits = 511;

std::vector<std::string> ReadList(const ProfileStore& store, std::string_view prefix) {
  const std::string base(prefix);
  const int32_t count =
      std::clamp<int32_t>(store.GetInt(kExcluded, base + "Count", 0), 0, kMaxExcludedPrograms);
  std::vector<std::string> names;
  for (int32_t i = 0; i < count; ++i) {
    const std::string value = store.GetString(kExcluded, base + std::to_string(i), "", kNameUnits);
    std::optional<std::string> name = NormalizeExecutableName(value);
    if (name && std::find(names.begin(), names.end(), *name) == names.end()) {
      names.push_back(std::move(*name));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> NormalizeExclusionList(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  for (const std::string& entry : names) {
    if (std::optional<std::string> name = NormalizeExecutableName(entry)) {
      out.push_back(std::move(*name));
    }
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

ExclusionLists ReadExclusionLists(const ProfileStore& store) {
  ExclusionLists lists;
  lists.video = ReadList(store, "Video");
  lists.audio = ReadList(store, "Audio");
  return lists;
}

bool WriteExclusionList(std::string_view prefix, const std::vector<std::string>& names,
                        const ProfileStore& store) {
  // Only what a reader would accept is written, so the count always matches the entries.
  std::vector<std::string> list = NormalizeExclusionList(names);
  if (list.size() > kMaxExcludedPrograms) list.resize(kMaxExcludedPrograms);
  const std::string base(prefix);
  bool ok = WriteInt(store, kExcluded, base + "Count", static_cast<int32_t>(list.size()));
  for (size_t i = 0; i < list.size(); ++i) {
    ok &= store.WriteString(kExcluded, base + std::to_string(i), list[i]);
  }
  return ok;
}

bool WriteExclusionLists(const ExclusionLists& lists, const ProfileStore& store) {
  bool ok = store.DeleteSection(kExcluded);
  ok &= WriteExclusionList("Video", lists.video, store);
  ok &= WriteExclusionList("Audio", lists.audio, store);
  return ok;
}

}  // namespace halvex::settings
