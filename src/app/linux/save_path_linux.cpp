#include <limits.h>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

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

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* pw = ::getpwuid(::getuid());
    home = pw != nullptr ? pw->pw_dir : nullptr;
  }
  return home != nullptr ? home : "";
}

std::string Trim(std::string s) {
  const size_t b = s.find_first_not_of(" \t\r");
  const size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// XDG_VIDEOS_DIR from xdg-user-dirs' user-dirs.dirs: "$HOME/..." or an absolute path; "$HOME"
// alone means the folder is switched off.
std::filesystem::path XdgVideosFolder(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::filesystem::path configHome = config != nullptr && config[0] == '/'
                                               ? std::filesystem::path(config)
                                               : std::filesystem::path(home) / ".config";
  std::ifstream in(configHome / "user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.rfind("XDG_VIDEOS_DIR", 0) != 0) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos || Trim(line.substr(14, eq - 14)) != "") continue;
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME/", 0) == 0) {
      const std::string rest = value.substr(6);
      if (rest.find_first_not_of('/') == std::string::npos) return {};
      return std::filesystem::path(home) / rest;
    }
    if (!value.empty() && value[0] == '/') return value;
    return {};
  }
  return {};
}

}  // namespace

std::filesystem::path DefaultSaveRoot() {
  const std::string home = HomeFolder();
  if (home.empty() || home[0] != '/') return {};
  std::filesystem::path videos = XdgVideosFolder(home);
  if (videos.empty()) videos = std::filesystem::path(home) / "Videos";
  return videos / "Halvex";
}

std::string LocalPathProblem(std::string_view root) {
  if (root.size() >= 2 && std::isalpha(static_cast<unsigned char>(root[0])) && root[1] == ':' &&
      (root.size() == 2 || root[2] == '\\' || root[2] == '/'))
    return "es una ruta de Windows";
  if (root.substr(0, 2) == "\\\\") return "es una ruta de red de Windows";
  if (root.empty() || root[0] != '/') return "no es una ruta absoluta";
  return "";
}

}  // namespace halvex::platform
