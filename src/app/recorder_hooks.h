#pragma once
// What the capture loop asks of the parts that are not capture: the user interface (overlay,
// menus, tray), the keyboard bridge and private-window exclusion. The audio pipeline's seam is
// audio/audio_pipeline_seam.h.
// Each has a "nothing there" form, so the loop runs with whatever a platform offers so far.
#include <filesystem>
#include <optional>
#include <string>

#include "input/window_system.h"

namespace halvex {

// The overlay, the settings menus and the tray icon. The defaults are what a program without any
// of them does: no messages, no menus, nothing shown.
class IRecorderUi {
 public:
  virtual ~IRecorderUi() = default;

  // Drains the platform's message queue. Returns false when the program was asked to quit; sets
  // `escapeSeen` when an Escape key-down went through the queue.
  virtual bool PumpMessages(bool& escapeSeen) { return true; }

  // Overlay. `Exists` tells whether the overlay window could be made at all.
  virtual bool OverlayExists() const { return false; }
  virtual void UpdateOverlay() {}
  virtual void ShowClipSaved() {}
  virtual void ShowMessage(const std::string& text) {}
  virtual void ShowExportProgress(int percent) {}
  virtual void HideExportProgress() {}
  virtual void ShowSession(const std::string& displayName) {}
  virtual void HideSession() {}

  // Menus.
  virtual bool AnyMenuOpen() const { return false; }
  // The shortcut editor is waiting for keys: shortcuts must not act meanwhile.
  virtual bool RecordingShortcut() const { return false; }
  // Sends Escape to the first open menu in priority order.
  virtual void RelayEscape() {}
  // Writes a picture of the visible menus; the file written, or nullopt on failure.
  virtual std::optional<std::filesystem::path> CaptureMenus() { return std::nullopt; }
  virtual void OpenMainMenu() {}
  // Serves the menus' results. Returns false when the loop must end (hand-over to the updater).
  virtual bool ServeMenus() { return true; }

  // Tray: another start of the program asked this one to show itself.
  virtual void OnWake() {}

  // Shutdown, in this order: the update check, menus and tray; later the overlay.
  virtual void CloseMenusAndTray() {}
  virtual void CloseOverlay() {}
};

// The keyboard bridge: shortcut presses latched by a hook thread, where polling misses them
// while the game has focus.
class IShortcutBridge {
 public:
  virtual ~IShortcutBridge() = default;
  virtual bool Active() const = 0;
  // Each press is taken once.
  virtual bool TakeSavePress() = 0;
  virtual bool TakeMenuPress() = 0;
};

// Where the screen is duplicated while the game has focus: keeps private windows and the
// composition attribute right for duplication.
class IPrivateWindowGuard {
 public:
  virtual ~IPrivateWindowGuard() = default;
  // The game has focus: exclude private windows over it from duplication.
  virtual void ExcludePrivateWindows(WindowId game) = 0;
  // Focus lost or session over: undo every exclusion.
  virtual void RestorePrivateWindows() = 0;
};

}  // namespace halvex
