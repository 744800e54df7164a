#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "settings/settings_path.h"

namespace halvex::settings {

std::filesystem::path SettingsPath() {
  // XDG base directories: a relative XDG_CONFIG_HOME is invalid and ignored.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') {
    return std::filesystem::path(config) / kSettingsFileName;
  }
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* pw = ::getpwuid(::getuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  if (home != nullptr && home[0] != '\0') {
    return std::filesystem::path(home) / ".config" / kSettingsFileName;
  }
  return kSettingsFileName;
}

}  // namespace halvex::settings
