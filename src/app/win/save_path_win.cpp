#include <time.h>

#include "app/name_cut.h"
#include "app/save_path_platform.h"
#include "core/text.h"

namespace halvex::platform {

// Windows file names are counted in UTF-16 units.
std::string CutFolderName(std::string_view utf8, size_t maxChars) {
  return CutToUtf16Units(utf8, maxChars);
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(text::Utf8ToWide(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) { return text::WideToUtf8(path.native()); }

bool ToLocalTime(std::time_t when, std::tm& out) { return localtime_s(&out, &when) == 0; }

}  // namespace halvex::platform

namespace halvex::platform {

// Without a save root clips go to the current directory, as the settings menu says
// ("Predeterminada (carpeta actual)").
std::filesystem::path DefaultSaveRoot() { return {}; }

// Drive letters, UNC shares and relative folders are all file-system paths here.
std::string LocalPathProblem(std::string_view) { return ""; }

}  // namespace halvex::platform
