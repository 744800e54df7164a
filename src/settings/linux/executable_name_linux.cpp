#include "settings/executable_name.h"

namespace halvex::settings {

std::optional<std::string> NormalizeExecutableName(std::string_view nameOrPath) {
  std::string name = ProgramFileNameLower(nameOrPath);
  if (!IsValidLinuxProgramName(name)) return std::nullopt;
  return name;
}

}  // namespace halvex::settings
