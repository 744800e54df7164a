#include "app/win/bridge_shortcuts.h"

#include "core/log.h"
#include "input/hotkey_bridge_rules.h"

namespace halvex {

bool InstallKeyboardBridge(KeyboardBridge& bridge, const settings::ShortcutPair& shortcuts,
                           uint32_t osBuild) {
  const bool running = bridge.Start(shortcuts.saveClip, shortcuts.openMenu);
  log::Line(BridgeStartLogLine(running, osBuild));
  return running;
}

}  // namespace halvex
