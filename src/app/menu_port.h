#pragma once
// The settings menus as the capture loop sees them. The defaults are a program without menus.
#include <filesystem>
#include <optional>

namespace halvex {

class IMenus {
 public:
  virtual ~IMenus() = default;

  virtual bool AnyOpen() const { return false; }
  // The shortcut editor is waiting for keys: shortcuts must not act meanwhile.
  virtual bool RecordingShortcut() const { return false; }
  // Sends Escape to the first open menu in priority order.
  virtual void RelayEscape() {}
  // Writes a picture of the visible menus; the file written, or nullopt on failure.
  virtual std::optional<std::filesystem::path> Capture() { return std::nullopt; }
  // False when there is no main menu to open.
  virtual bool OpenMain() { return false; }
  // Serves the menus' results. Returns false when the loop must end (hand-over to the updater).
  virtual bool Serve() { return true; }
  // Shutdown: closes every menu (before the tray and the overlay go).
  virtual void Close() {}
};

}  // namespace halvex
