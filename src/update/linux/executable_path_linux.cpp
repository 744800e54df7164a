#include <system_error>

#include "update/installed_version.h"

namespace halvex {

std::optional<std::filesystem::path> RunningExecutablePath() {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || path.empty()) return std::nullopt;
  return path;
}

}  // namespace halvex
