#pragma once
// Where a clip goes: the save root, one folder per game, and the time stamp in clip names.
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// Joins the save root, the game's folder and the clip's file name into `path`, creating the
// folder. An empty root means the current directory and no folder at all. On failure returns
// false with `error` set to the text the save request shows; `error` is empty on success.
bool PrepareSavePath(const std::filesystem::path& saveRoot, std::string_view gameName,
                     const std::filesystem::path& fileName, std::filesystem::path& path,
                     std::string& error);

// A folder name every file system we write to accepts, made from any display name (UTF-8).
std::string SanitizeFolderName(std::string_view name);

// The current local time as "2026-03-01_18-04-59".
std::string ClipTimestamp();
std::string FormatClipTimestamp(std::time_t when);

}  // namespace halvex
