#pragma once
// Seam: the platform's own name for a key that the fixed table does not cover.
#include <string>

#include "input/hotkey_combo.h"

namespace halvex::platform {

// Empty when the platform knows no name for the code.
std::string LayoutKeyName(VirtualKey code);

}  // namespace halvex::platform
