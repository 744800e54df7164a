#pragma once
// The installed application version, kept by the updater in a file beside the executable.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvex {

// What the main program reports when the installed-version file is missing or invalid; also the
// version in its user agent.
inline constexpr std::string_view kBuiltInVersion = "2.1.13";
inline constexpr std::string_view kInstalledVersionFileName = ".halvex-version";
inline constexpr std::string_view kInstalledUpdaterVersionFileName = ".halvex-updater-version";

// ".halvex-version" in `directory`, trimmed; the built-in version when the file cannot be read or
// does not hold a version (with at least one digit).
std::string ReadInstalledVersion(const std::filesystem::path& directory);

// The same, for the directory of the running executable.
std::string GetInstalledVersion();

// Platform seam: the running executable's full path; nothing when the system cannot give it whole.
std::optional<std::filesystem::path> RunningExecutablePath();

}  // namespace halvex
