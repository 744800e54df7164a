#pragma once
// What the platform under the recorder can do, filled once at start-up by the program's entry.
// Portable code asks these questions by meaning and never which system or version it runs on.
#include <cstdint>

namespace halvex {

struct PlatformCapabilities {
  // The system can capture the sound of one process (and its children) on its own. The audio
  // backend asks this before it starts per-process captures.
  bool perProcessAudio = true;
  // Shortcut presses arrive through the low-level keyboard bridge while the game has focus,
  // because registered hotkeys and key polling miss them there.
  bool shortcutsThroughBridge = false;
  // The screen is duplicated while the game has focus instead of capturing its window.
  bool duplicateWhileFocused = false;
  // Private windows over the focused game must be excluded from duplication.
  bool privateWindowGuard = false;
  // The recorder makes the per-process tracks: the game's own sound and the per-application
  // main mix. Off where the output's loopback, with the microphone, is the main track instead.
  bool gameOnlyTrack = true;
};

// The Windows builds (10240 and later, before 22000) that lack process loopback and need the
// keyboard bridge, duplication while focused and the private-window guard.
bool IsWindows10Build(uint32_t build);
// Everything a Windows build can do: process loopback needs build 22000 or later.
PlatformCapabilities WindowsCapabilities(uint32_t build);

}  // namespace halvex
