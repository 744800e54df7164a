#include "input/target_detector.h"

namespace halvex {

bool IsBuiltInExclusion(const std::string& lowerCaseName) {
  return IsBuiltInWindowsExclusion(lowerCaseName);
}

}  // namespace halvex
