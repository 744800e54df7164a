#pragma once
// Processes as /proc shows them: image path, parent, liveness, and for a Wine process the Windows
// program it runs. The parsing helpers are separate so that tests can feed them odd input.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "input/window_system.h"

namespace halvex::proc {

// Parent id and state letter from the text of /proc/PID/stat. The command name in parentheses
// may itself contain spaces and ")", so the fields are read after the last ")".
struct StatFields {
  char state = 0;
  ProcessId parent = 0;
};
std::optional<StatFields> ParseStat(std::string_view stat);

// The NUL-separated strings of /proc/PID/cmdline or /proc/PID/environ.
std::vector<std::string> SplitNul(std::string_view bytes);

// The Windows program of a Wine process: the first argument ending in ".exe" (any case) when the
// process is a Wine loader or its first argument is such a program; for a loader whose command
// line Wine rewrote to a bare name ("ping -n 3 host"), that name + ".exe". nullopt for a native
// process.
std::optional<std::string> WineProgramArgument(std::string_view exeFileName,
                                               const std::vector<std::string>& argv);

// The file of /proc/PID/maps text whose file name equals `fileName` ignoring case: the image
// Wine actually loaded.
std::optional<std::filesystem::path> MappedFileNamed(std::string_view maps,
                                                     std::string_view fileName);

// A Wine program path as the Unix file it names: "X:\dir\game.exe" through the prefix's
// dosdevices, a relative path from `cwd`, a Unix path as is. Components are matched without
// regard to case when the exact name does not exist. nullopt when no such file exists.
std::optional<std::filesystem::path> ResolveWineProgram(std::string_view program,
                                                        const std::filesystem::path& prefix,
                                                        const std::filesystem::path& cwd);

// The Wine prefix of a process from its environment: WINEPREFIX, else $HOME/.wine.
std::optional<std::filesystem::path> WinePrefixFromEnvironment(const std::vector<std::string>& env);

// Reads at most `limit` bytes of a (/proc) file; nullopt when it cannot be opened.
std::optional<std::string> ReadSmallFile(const std::filesystem::path& path, size_t limit);

// A Wine process's program: its path as Wine gave it and, when found, the Unix file.
struct WineProgram {
  std::string windowsPath;
  std::optional<std::filesystem::path> unixPath;
};

// Live queries of the running system.
std::optional<std::filesystem::path> ExecutablePath(ProcessId process);  // /proc/PID/exe
std::optional<WineProgram> WineProgramOf(ProcessId process);
bool IsAlive(ProcessId process);  // exists and is not a zombie
std::vector<std::pair<ProcessId, ProcessId>> ParentTable();

}  // namespace halvex::proc
