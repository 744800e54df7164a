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

}  // namespace halvex::platform
