#pragma once
#include <filesystem>

namespace halvex::settings {

// Windows: %APPDATA%\Halvex.ini. Linux: $XDG_CONFIG_HOME/Halvex.ini, by default
// ~/.config/Halvex.ini. When no folder can be determined, the bare name "Halvex.ini" (relative
// to the current directory).
std::filesystem::path SettingsPath();

inline constexpr const char* kSettingsFileName = "Halvex.ini";

}  // namespace halvex::settings
