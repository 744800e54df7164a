#pragma once
// The operating system's build number, read with RtlGetVersion (the compatibility shims of
// GetVersionEx do not apply to it). 0 when the function is missing or fails.
#include <cstdint>

namespace halvex {

uint32_t OsBuildNumber();

}  // namespace halvex
