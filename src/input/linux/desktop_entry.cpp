#include "input/linux/desktop_entry.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "core/text.h"

namespace halvex::desktop {
namespace fs = std::filesystem;
namespace {

constexpr size_t kMaxFiles = 4000;
constexpr uintmax_t kMaxFileBytes = 64 * 1024;

constexpr std::array<std::string_view, 16> kInterpreters = {
    "sh",   "bash", "dash", "zsh",  "env",  "python", "python2", "python3",
    "perl", "ruby", "java", "mono", "node", "lua",    "wine",    "wine64"};

bool IsInterpreter(std::string_view name) {
  for (const std::string_view i : kInterpreters) {
    if (name == i) return true;
  }
  // python3.11 and the like
  return name.starts_with("python") || name.starts_with("wine");
}

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

// Splits an Exec line into words, honouring double quotes and backslash escapes inside them.
std::vector<std::string> Words(std::string_view exec) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < exec.size()) {
        word.push_back(exec[++i]);
      } else if (c == '"') {
        quoted = false;
      } else {
        word.push_back(c);
      }
    } else if (c == '"') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

std::optional<fs::path> FindOnPath(const std::string& program) {
  std::error_code error;
  if (program.find('/') != std::string::npos) {
    const fs::path resolved = fs::canonical(program, error);
    return error ? std::nullopt : std::optional<fs::path>(resolved);
  }
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!dirs.empty()) {
    const size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    if (!dir.empty()) {
      const fs::path resolved = fs::canonical(fs::path(dir) / program, error);
      if (!error) return resolved;
    }
    if (colon == std::string_view::npos) break;
    dirs.remove_prefix(colon + 1);
  }
  return std::nullopt;
}

bool Matches(const DesktopEntry& entry, const fs::path& executable, const std::string& fileName) {
  if (!entry.application || entry.hidden || entry.name.empty()) return false;
  if (!entry.startupWmClass.empty() &&
      text::EqualsIgnoreAsciiCase(entry.startupWmClass, fileName)) {
    return true;
  }
  const std::string program = ExecProgram(entry.exec);
  if (program.empty()) return false;
  if (fs::path(program).filename() == fileName) return true;
  const auto resolved = FindOnPath(program);
  return resolved && *resolved == executable;
}

}  // namespace

std::optional<DesktopEntry> Parse(std::string_view text) {
  DesktopEntry entry;
  bool inGroup = false, found = false;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    const std::string_view line = Trim(text.substr(0, newline));
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[Desktop Entry]";
      found = found || inGroup;
      continue;
    }
    if (!inGroup) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string value(Trim(line.substr(equals + 1)));
    if (key == "Name") entry.name = value;
    else if (key == "Exec") entry.exec = value;
    else if (key == "StartupWMClass") entry.startupWmClass = value;
    else if (key == "Type") entry.application = value == "Application";
    else if (key == "Hidden") entry.hidden = value == "true";
  }
  if (!found) return std::nullopt;
  return entry;
}

std::string ExecProgram(std::string_view exec) {
  const std::vector<std::string> words = Words(exec);
  size_t i = 0;
  if (i < words.size() && (words[i] == "env" || words[i] == "/usr/bin/env")) {
    ++i;
    while (i < words.size() && words[i].find('=') != std::string::npos && words[i][0] != '/') ++i;
  }
  return i < words.size() ? words[i] : std::string();
}

std::vector<fs::path> ApplicationDirectories() {
  std::vector<fs::path> dirs;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome != nullptr && dataHome[0] == '/') {
    dirs.push_back(fs::path(dataHome) / "applications");
  } else if (home != nullptr && home[0] == '/') {
    dirs.push_back(fs::path(home) / ".local/share/applications");
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::string_view list =
      dataDirs != nullptr && dataDirs[0] != '\0' ? dataDirs : "/usr/local/share:/usr/share";
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string_view dir = list.substr(0, colon);
    if (!dir.empty() && dir[0] == '/') dirs.push_back(fs::path(dir) / "applications");
    if (colon == std::string_view::npos) break;
    list.remove_prefix(colon + 1);
  }
  return dirs;
}

std::optional<std::string> NameForExecutable(const fs::path& executable,
                                             const std::vector<fs::path>& dirs) {
  const std::string fileName = executable.filename().string();
  if (fileName.empty() || IsInterpreter(fileName)) return std::nullopt;
  size_t files = 0;
  for (const fs::path& dir : dirs) {
    std::error_code error;
    fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
      if (it.depth() > 4) {
        it.disable_recursion_pending();
        continue;
      }
      if (it->path().extension() != ".desktop") continue;
      if (++files > kMaxFiles) return std::nullopt;
      std::error_code sizeError;
      const uintmax_t size = it->file_size(sizeError);
      if (sizeError || size > kMaxFileBytes) continue;
      std::ifstream file(it->path(), std::ios::binary);
      std::string textBytes(static_cast<size_t>(size), '\0');
      if (!file.read(textBytes.data(), static_cast<std::streamsize>(size))) continue;
      const auto entry = Parse(textBytes);
      if (entry && Matches(*entry, executable, fileName)) return entry->name;
    }
  }
  return std::nullopt;
}

}  // namespace halvex::desktop
