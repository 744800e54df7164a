#include "settings/profile_store.h"
#include "settings/settings_path.h"

namespace halvex::settings {

namespace {

// Opens the store afresh for every call: no state is kept between calls, so every reader sees
// the file as the last writer left it.
class UserSettingsStore final : public ProfileStore {
 public:
  std::string GetString(std::string_view section, std::string_view key, std::string_view fallback,
                        size_t maxUnits) const override {
    return Open()->GetString(section, key, fallback, maxUnits);
  }
  int32_t GetInt(std::string_view section, std::string_view key, int32_t fallback) const override {
    return Open()->GetInt(section, key, fallback);
  }
  bool WriteString(std::string_view section, std::string_view key,
                   std::string_view value) const override {
    return Open()->WriteString(section, key, value);
  }
  bool DeleteKey(std::string_view section, std::string_view key) const override {
    return Open()->DeleteKey(section, key);
  }
  bool DeleteSection(std::string_view section) const override {
    return Open()->DeleteSection(section);
  }

 private:
  static std::unique_ptr<ProfileStore> Open() { return OpenProfileStore(SettingsPath()); }
};

}  // namespace

const ProfileStore& UserSettings() {
  static const UserSettingsStore store;
  return store;
}

}  // namespace halvex::settings
