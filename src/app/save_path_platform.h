#pragma once
// What the save-path rules need from the platform: how its file names count characters, its
// path encoding, and local time.
#include <cstddef>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex::platform {

// Cuts a folder name to `maxChars` characters as this platform's file names count them.
std::string CutFolderName(std::string_view utf8, size_t maxChars);

std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

bool ToLocalTime(std::time_t when, std::tm& out);

// The per-user folder clips go to when no save root is set; empty means the current directory.
std::filesystem::path DefaultSaveRoot();

// This platform's reason a save root is no local folder (beyond URLs, which every platform
// refuses), "" when it is one.
std::string LocalPathProblem(std::string_view root);

}  // namespace halvex::platform
