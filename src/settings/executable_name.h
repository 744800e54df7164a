#pragma once
// Names of programs in the exclusion lists: the file-name part of a path, lower-cased.
#include <optional>
#include <string>
#include <string_view>

namespace halvex::settings {

// The text after the last "\" or "/" (all of it when there is none), lower-cased as towlower does
// in the C locale (ASCII letters only).
std::string ProgramFileNameLower(std::string_view nameOrPath);

// Windows: 5..260 UTF-16 units ending in ".exe". Takes a name already lower-cased.
bool IsValidWindowsExecutableName(std::string_view lowerName);
// Linux: programs have no extension, so any 1..260 units (a Wine game's "game.exe" qualifies too).
bool IsValidLinuxProgramName(std::string_view lowerName);

// This platform's rule (one of the two above) applied to ProgramFileNameLower(nameOrPath).
bool IsValidExecutableName(std::string_view nameOrPath);

// The stored form of a name or path (lower-case file-name part), or nullopt when it is not a
// valid program name on this platform.
std::optional<std::string> NormalizeExecutableName(std::string_view nameOrPath);

}  // namespace halvex::settings
