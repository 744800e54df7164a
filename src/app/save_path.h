#pragma once
// Where a clip goes: the save root, one folder per game, and the time stamp in clip names.
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace halvex {

// Joins the save root, the game's folder and the clip's file name into `path`, creating the
// folder. An empty root means the current directory and no folder at all; a root that is no local
// folder is refused. On failure returns false with `error` set to the text the save request shows
// (with the system's reason where there is one); `error` is empty on success.
bool PrepareSavePath(const std::filesystem::path& saveRoot, std::string_view gameName,
                     const std::filesystem::path& fileName, std::filesystem::path& path,
                     std::string& error);

// Why `root` cannot hold clips, "" when it can: a URL ("http://host/x") or a path this platform
// does not read as a local folder (a Windows drive on Linux). Clips are written to local files only.
std::string SaveRootProblem(std::string_view root);

// The save root in force for a run, from the configured text: an empty one is the platform's
// per-user default folder; a refused one is logged with its reason and replaced by that default.
// The result is empty where the default is the current directory.
std::filesystem::path EffectiveSaveRoot(std::string_view configured);

// True for the temporary names our saves write under ("clip_<time stamp>[_n].mp4.part", its .mkv
// form and the size-limited copy's "..._Discord20MB_H264.mp4.part").
bool IsClipPartName(std::string_view fileName);

// Removes the temporary files a save cut short (a crash, a power loss) left in the save root and
// its game folders, or in the current directory when the root is empty. Returns how many.
size_t RemoveStaleClipParts(const std::filesystem::path& root);

// A folder name every file system we write to accepts, made from any display name (UTF-8).
std::string SanitizeFolderName(std::string_view name);

// The current local time as "2026-03-01_18-04-59".
std::string ClipTimestamp();
std::string FormatClipTimestamp(std::time_t when);

}  // namespace halvex
