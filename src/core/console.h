#pragma once
// Platform seam for the logger's output stream.
#include <string_view>

namespace halvex::console {
void Init();
void WriteLine(std::string_view utf8);
}  // namespace halvex::console
