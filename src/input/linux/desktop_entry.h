#pragma once
// A native program's friendly name from the desktop entry (.desktop file) that launches it.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvex::desktop {

struct DesktopEntry {
  std::string name;            // Name (not a localised variant)
  std::string exec;            // Exec
  std::string startupWmClass;  // StartupWMClass
  bool application = false;    // Type=Application
  bool hidden = false;         // Hidden=true (a deleted entry)
};

// The [Desktop Entry] group of a desktop file; nullopt when the group is missing.
std::optional<DesktopEntry> Parse(std::string_view text);

// The program an Exec line starts: the first word after "env" and its VAR=value assignments,
// quotes removed ("" when there is none).
std::string ExecProgram(std::string_view exec);

// The folders searched, in order: $XDG_DATA_HOME/applications (default ~/.local/share), then each
// of $XDG_DATA_DIRS (default /usr/local/share:/usr/share) + /applications.
std::vector<std::filesystem::path> ApplicationDirectories();

// The Name of the first entry whose Exec program is `executable` (same file name, or the same
// file once found on PATH and resolved) or whose StartupWMClass equals its file name ignoring
// case. Interpreters (shells, python, java, ...) never match: their entries name other programs.
// The search is bounded in files and bytes.
std::optional<std::string> NameForExecutable(const std::filesystem::path& executable,
                                             const std::vector<std::filesystem::path>& dirs);

}  // namespace halvex::desktop
