#include <windows.h>

#include <vector>

#include "update/installed_version.h"

namespace halvex {

std::optional<std::filesystem::path> RunningExecutablePath() {
  std::vector<wchar_t> buffer(32768);
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
  if (n == 0 || n > 32767) return std::nullopt;
  return std::filesystem::path(std::wstring(buffer.data(), n));
}

}  // namespace halvex
