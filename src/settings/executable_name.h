#pragma once
// Names of programs: the file-name part of a path, as the sound and target lists show it and
// lower-cased as the exclusion lists keep it.
#include <optional>
#include <string>
#include <string_view>

namespace halvex::settings {

// The text after the last "\" or "/" (all of it when there is none), on either system: a Wine
// game's path has backslashes.
std::string ProgramFileName(std::string_view nameOrPath);
// The same, lower-cased as towlower does in the C locale (ASCII letters only).
std::string ProgramFileNameLower(std::string_view nameOrPath);

// Windows: 5..260 UTF-16 units ending in ".exe". Takes a name already lower-cased.
bool IsValidWindowsExecutableName(std::string_view lowerName);
// Linux: programs have no extension, so any 1..260 units (a Wine game's "game.exe" qualifies too).
bool IsValidLinuxProgramName(std::string_view lowerName);
// One of the two, the one of the platform this is built for (executable_name_<platform>.cpp).
bool IsValidPlatformProgramName(std::string_view lowerName);

// IsValidPlatformProgramName applied to ProgramFileNameLower(nameOrPath).
bool IsValidExecutableName(std::string_view nameOrPath);

// The stored form of a name or path (lower-case file-name part), or nullopt when it is not a
// valid program name on this platform.
std::optional<std::string> NormalizeExecutableName(std::string_view nameOrPath);

}  // namespace halvex::settings
