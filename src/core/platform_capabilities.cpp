#include "core/platform_capabilities.h"

namespace halvex {

bool IsWindows10Build(uint32_t build) { return build >= 10240 && build < 22000; }

PlatformCapabilities WindowsCapabilities(uint32_t build) {
  PlatformCapabilities caps;
  const bool windows10 = IsWindows10Build(build);
  caps.perProcessAudio = build >= 22000;
  caps.gameOnlyTrack = !windows10;
  caps.shortcutsThroughBridge = windows10;
  caps.duplicateWhileFocused = windows10;
  caps.privateWindowGuard = windows10;
  return caps;
}

}  // namespace halvex
