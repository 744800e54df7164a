#include "update/installed_version.h"

#include <fstream>

#include "update/trim.h"
#include "update/version.h"

namespace halvex {

std::string ReadInstalledVersion(const std::filesystem::path& directory) {
  std::ifstream file(directory / kInstalledVersionFileName, std::ios::binary);
  if (!file) return std::string(kBuiltInVersion);
  // read() rather than stream iterators: a read error (a folder of that name) must fail, not throw.
  std::string bytes;
  char chunk[512];
  while (file.read(chunk, sizeof chunk) || file.gcount() > 0) bytes.append(chunk, size_t(file.gcount()));
  if (file.bad()) return std::string(kBuiltInVersion);
  const std::string_view version = TrimWhiteSpace(bytes);
  return IsVersionString(version, VersionRules::kMainProgram) ? std::string(version)
                                                               : std::string(kBuiltInVersion);
}

std::string GetInstalledVersion() {
  const std::optional<std::filesystem::path> exe = RunningExecutablePath();
  if (!exe) return std::string(kBuiltInVersion);
  return ReadInstalledVersion(exe->parent_path());
}

}  // namespace halvex
