#include "settings/executable_name.h"

namespace halvex::settings {

bool IsValidPlatformProgramName(std::string_view lowerName) { return IsValidWindowsExecutableName(lowerName); }

}  // namespace halvex::settings
