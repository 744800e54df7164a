#pragma once
// Clip files are local files. FFmpeg reads a name that starts with "word:" as a URL (http:, pipe:,
// tcp: ...), so every path handed to it goes through here: the "file:" protocol and nothing else,
// nested opens included (the MP4 writer reopens its own file to move the index to the front).
#include <filesystem>
#include <string>

struct AVDictionary;
struct AVFormatContext;

namespace halvex {

// "file:" + the path as UTF-8.
std::string LocalFileUrl(const std::filesystem::path& path);

// Options for avformat_open_input / avio_open2 that allow the file protocol only.
AVDictionary* LocalFileOptions();

// Limits the context's own later opens to files. False when out of memory.
bool RestrictToLocalFiles(AVFormatContext* context);

// Forces a finished file's bytes to the disk (fsync / FlushFileBuffers), so a rename that
// publishes it never shows an empty or short file after a power loss. On failure `error` holds
// the system's text.
bool FlushFileToDisk(const std::filesystem::path& path, std::string& error);

// Makes a rename inside `folder` durable where the system needs that asked for; best effort.
void FlushFolderToDisk(const std::filesystem::path& folder);

}  // namespace halvex
