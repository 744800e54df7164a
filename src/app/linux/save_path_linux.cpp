#include <limits.h>
#include <time.h>

#include "app/name_cut.h"
#include "app/save_path_platform.h"

namespace halvex::platform {

// Characters are code points here, but the file system also limits a name to NAME_MAX bytes:
// 180 characters of non-Latin text would not fit, and the folder could never be created.
std::string CutFolderName(std::string_view utf8, size_t maxChars) {
  return CutToCodePoints(utf8, maxChars, NAME_MAX);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::string(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) { return path.native(); }

bool ToLocalTime(std::time_t when, std::tm& out) { return localtime_r(&when, &out) != nullptr; }

}  // namespace halvex::platform
