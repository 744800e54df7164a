#include "input/target_detector.h"

namespace halvex {

// Wine runs the Windows programs here too, so both lists apply.
bool IsBuiltInExclusion(const std::string& lowerCaseName) {
  return IsBuiltInWindowsExclusion(lowerCaseName) || IsBuiltInLinuxExclusion(lowerCaseName);
}

}  // namespace halvex
