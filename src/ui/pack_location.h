#pragma once
// Where the pack lives: beside the program's own executable.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace halvex {

inline constexpr std::string_view kPackFileName = "Halvex.pak";

// Windows separates paths with "\" or "/"; elsewhere "\" is an ordinary file-name character.
enum class PathStyle { kWindows, kPosix };
inline constexpr PathStyle kNativePathStyle =
    std::filesystem::path::preferred_separator == '\\' ? PathStyle::kWindows : PathStyle::kPosix;

// The module path's text up to its last separator ("." when it has none), the native separator,
// then "Halvex.pak". Text is UTF-8.
std::string PackPathForModule(std::string_view modulePath, PathStyle style = kNativePathStyle);

// Platform seam: the running program's own module path in UTF-8; nothing when the system cannot
// give it whole (a cut-off path would name some other folder).
std::optional<std::string> ModulePathForPack();

// Both together; nothing when the module path is unknown.
std::optional<std::filesystem::path> ResourcePackPath();

}  // namespace halvex
