#include "settings/executable_name.h"

#include "core/text.h"

namespace halvex::settings {

namespace {

size_t Utf16Length(std::string_view s) { return text::Utf8ToUtf16(s).size(); }

}  // namespace

std::string ProgramFileName(std::string_view nameOrPath) {
  const size_t slash = nameOrPath.find_last_of("\\/");
  if (slash != std::string_view::npos) nameOrPath.remove_prefix(slash + 1);
  return std::string(nameOrPath);
}

std::string ProgramFileNameLower(std::string_view nameOrPath) {
  return text::AsciiLower(ProgramFileName(nameOrPath));
}

bool IsValidWindowsExecutableName(std::string_view lowerName) {
  const size_t units = Utf16Length(lowerName);
  return units >= 5 && units <= 260 && lowerName.ends_with(".exe");
}

bool IsValidLinuxProgramName(std::string_view lowerName) {
  const size_t units = Utf16Length(lowerName);
  return units >= 1 && units <= 260;
}

std::optional<std::string> NormalizeExecutableName(std::string_view nameOrPath) {
  std::string name = ProgramFileNameLower(nameOrPath);
  if (!IsValidPlatformProgramName(name)) return std::nullopt;
  return name;
}

bool IsValidExecutableName(std::string_view nameOrPath) {
  return NormalizeExecutableName(nameOrPath).has_value();
}

}  // namespace halvex::settings
