#pragma once
// Paths in log lines: a save folder can be hundreds of characters deep, and a line that long hides
// what it says. Long paths keep their start and their last two parts (game folder and file name).
#include <cstddef>
#include <filesystem>
#include <string>

namespace halvex::text {

inline constexpr size_t kLogPathChars = 100;

// The path as UTF-8, with the middle replaced by "..." when it is longer than `maxChars` code
// points. The file name is always kept whole unless it alone is too long.
std::string PathForLog(const std::filesystem::path& path, size_t maxChars = kLogPathChars);

}  // namespace halvex::text
