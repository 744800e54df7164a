#include "input/linux/proc_process.h"

#include <signal.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <fstream>
#include <system_error>

#include "core/text.h"

namespace halvex::proc {
namespace fs = std::filesystem;
namespace {

constexpr size_t kStatLimit = 4096;
constexpr size_t kArgumentsLimit = 64 * 1024;
constexpr size_t kEnvironmentLimit = 256 * 1024;
constexpr size_t kMapsLimit = 4 * 1024 * 1024;
constexpr size_t kMaxDirectoryScan = 4096;
constexpr size_t kMaxProcesses = 1 << 17;

fs::path ProcDir(ProcessId process) { return fs::path("/proc") / std::to_string(process); }

bool ValidPid(ProcessId process) { return process != 0 && process <= INT_MAX; }

bool EndsWithExe(std::string_view s) {
  return s.size() > 4 && text::EqualsIgnoreAsciiCase(s.substr(s.size() - 4), ".exe");
}

// The directory entry of `dir` whose name equals `name` ignoring ASCII case.
std::optional<fs::path> FindIgnoringCase(const fs::path& dir, const std::string& name) {
  std::error_code error;
  fs::path exact = dir / name;
  if (fs::exists(exact, error)) return exact;
  size_t seen = 0;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (++seen > kMaxDirectoryScan) break;
    if (text::EqualsIgnoreAsciiCase(it->path().filename().string(), name)) return it->path();
  }
  return std::nullopt;
}

}  // namespace

std::optional<StatFields> ParseStat(std::string_view stat) {
  const size_t close = stat.rfind(')');
  if (close == std::string_view::npos || stat.find('(') > close) return std::nullopt;
  std::string_view rest = stat.substr(close + 1);
  // " S 1234 ..." : state, then the parent id.
  const size_t state = rest.find_first_not_of(' ');
  if (state == std::string_view::npos) return std::nullopt;
  StatFields fields;
  fields.state = rest[state];
  rest.remove_prefix(state + 1);
  const size_t digits = rest.find_first_not_of(' ');
  if (digits == std::string_view::npos) return std::nullopt;
  rest.remove_prefix(digits);
  uint64_t parent = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), parent);
  if (error != std::errc() || end == rest.data() || parent > UINT32_MAX) return std::nullopt;
  fields.parent = static_cast<ProcessId>(parent);
  return fields;
}

std::vector<std::string> SplitNul(std::string_view bytes) {
  std::vector<std::string> parts;
  while (!bytes.empty()) {
    const size_t nul = bytes.find('\0');
    parts.emplace_back(bytes.substr(0, nul));
    if (nul == std::string_view::npos) break;
    bytes.remove_prefix(nul + 1);
  }
  return parts;
}

std::optional<std::string> WineProgramArgument(std::string_view exeFileName,
                                               const std::vector<std::string>& argv) {
  const bool loader = exeFileName.starts_with("wine");  // wine, wine64, wine64-preloader, ...
  if (!loader && (argv.empty() || !EndsWithExe(argv[0]))) return std::nullopt;
  for (const std::string& arg : argv) {
    if (EndsWithExe(arg)) return arg;
  }
  if (!loader || argv.empty() || argv[0].empty()) return std::nullopt;
  const std::string name = argv[0].substr(argv[0].find_last_of("\\/") + 1);
  if (name.empty() || name.starts_with("wine") || name.find('.') != std::string::npos) {
    return std::nullopt;
  }
  return argv[0] + ".exe";
}

std::optional<fs::path> MappedFileNamed(std::string_view maps, std::string_view fileName) {
  while (!maps.empty()) {
    const size_t newline = maps.find('\n');
    std::string_view line = maps.substr(0, newline);
    maps.remove_prefix(newline == std::string_view::npos ? maps.size() : newline + 1);
    // address perms offset device inode path: the path starts at the first "/" after the fields.
    const size_t slash = line.find('/');
    if (slash == std::string_view::npos) continue;
    std::string_view path = line.substr(slash);
    if (path.ends_with(" (deleted)")) continue;
    const size_t lastSlash = path.rfind('/');
    if (text::EqualsIgnoreAsciiCase(path.substr(lastSlash + 1), fileName)) return fs::path(path);
  }
  return std::nullopt;
}

std::optional<fs::path> ResolveWineProgram(std::string_view program, const fs::path& prefix,
                                           const fs::path& cwd) {
  if (program.empty()) return std::nullopt;
  fs::path current;
  std::string_view rest = program;
  if (program.size() >= 2 && program[1] == ':' &&
      ((program[0] >= 'a' && program[0] <= 'z') || (program[0] >= 'A' && program[0] <= 'Z'))) {
    if (prefix.empty()) return std::nullopt;
    current = prefix / "dosdevices" / (text::AsciiLower(program.substr(0, 1)) + ":");
    rest.remove_prefix(2);
  } else if (program[0] == '\\') {
    return std::nullopt;  // a UNC path or one relative to an unknown drive
  } else if (program[0] == '/') {
    current = "/";
  } else {
    if (cwd.empty()) return std::nullopt;
    current = cwd;
  }
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string part(rest.substr(start, end - start));
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      current = current.parent_path();
      continue;
    }
    const auto next = FindIgnoringCase(current, part);
    if (!next) return std::nullopt;
    current = *next;
  }
  std::error_code error;
  if (!fs::is_regular_file(current, error)) return std::nullopt;
  return current;
}

std::optional<fs::path> WinePrefixFromEnvironment(const std::vector<std::string>& env) {
  std::optional<fs::path> home;
  for (const std::string& entry : env) {
    if (entry.starts_with("WINEPREFIX=") && entry.size() > 11) return fs::path(entry.substr(11));
    if (entry.starts_with("HOME=") && entry.size() > 5) home = fs::path(entry.substr(5)) / ".wine";
  }
  return home;
}

std::optional<std::string> ReadSmallFile(const fs::path& path, size_t limit) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes(limit, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(limit));
  bytes.resize(static_cast<size_t>(file.gcount()));
  return bytes;
}

std::optional<fs::path> ExecutablePath(ProcessId process) {
  if (!ValidPid(process)) return std::nullopt;
  std::error_code error;
  fs::path exe = fs::read_symlink(ProcDir(process) / "exe", error);
  if (error || exe.empty()) return std::nullopt;
  // A replaced or deleted image reads "/path (deleted)"; the name is still the program's.
  constexpr std::string_view kDeleted = " (deleted)";
  std::string text = exe.string();
  if (text.ends_with(kDeleted)) text.resize(text.size() - kDeleted.size());
  return fs::path(text);
}

std::optional<WineProgram> WineProgramOf(ProcessId process) {
  const auto exe = ExecutablePath(process);
  if (!exe) return std::nullopt;
  const auto cmdline = ReadSmallFile(ProcDir(process) / "cmdline", kArgumentsLimit);
  if (!cmdline) return std::nullopt;
  const auto program = WineProgramArgument(exe->filename().string(), SplitNul(*cmdline));
  if (!program) return std::nullopt;
  WineProgram wine{*program, std::nullopt};
  const auto environ = ReadSmallFile(ProcDir(process) / "environ", kEnvironmentLimit);
  const auto prefix = environ ? WinePrefixFromEnvironment(SplitNul(*environ)) : std::nullopt;
  // The image Wine mapped is the surest answer; the prefix and the current folder come next.
  const std::string fileName = program->substr(program->find_last_of("\\/") + 1);
  if (const auto maps = ReadSmallFile(ProcDir(process) / "maps", kMapsLimit)) {
    if (auto mapped = MappedFileNamed(*maps, fileName)) {
      std::error_code error;
      if (fs::is_regular_file(*mapped, error)) wine.unixPath = std::move(mapped);
    }
  }
  if (!wine.unixPath) {
    std::error_code error;
    const fs::path cwd = fs::read_symlink(ProcDir(process) / "cwd", error);
    wine.unixPath =
        ResolveWineProgram(*program, prefix.value_or(fs::path()), error ? fs::path() : cwd);
  }
  return wine;
}

bool IsAlive(ProcessId process) {
  if (!ValidPid(process)) return false;
  if (::kill(static_cast<pid_t>(process), 0) != 0 && errno != EPERM) return false;
  const auto stat = ReadSmallFile(ProcDir(process) / "stat", kStatLimit);
  if (!stat) return false;
  const auto fields = ParseStat(*stat);
  return fields && fields->state != 'Z' && fields->state != 'X';
}

std::vector<std::pair<ProcessId, ProcessId>> ParentTable() {
  std::vector<std::pair<ProcessId, ProcessId>> table;
  std::error_code error;
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    if (table.size() >= kMaxProcesses) break;
    const std::string name = it->path().filename().string();
    uint64_t id = 0;
    const auto [last, parseError] = std::from_chars(name.data(), name.data() + name.size(), id);
    if (parseError != std::errc() || last != name.data() + name.size() || id == 0 || id > INT_MAX) {
      continue;
    }
    const auto stat = ReadSmallFile(it->path() / "stat", kStatLimit);
    if (!stat) continue;  // ended meanwhile
    if (const auto fields = ParseStat(*stat)) {
      table.emplace_back(static_cast<ProcessId>(id), fields->parent);
    }
  }
  return table;
}

}  // namespace halvex::proc
