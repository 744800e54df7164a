#pragma once
// The Windows 10 keyboard bridge as the capture loop sees it: presses latched by the hook thread,
// each taken once.
#include <cstdint>

#include "app/shortcut_bridge.h"
#include "input/win/keyboard_bridge.h"
#include "settings/shortcut_settings.h"

namespace halvex {

class BridgeShortcuts final : public IShortcutBridge {
 public:
  explicit BridgeShortcuts(KeyboardBridge& bridge) : bridge_(bridge) {}

  bool Active() const override { return bridge_.Running(); }
  bool TakeSavePress() override { return bridge_.TakeTrigger(BridgeShortcut::kSaveClip); }
  bool TakeMenuPress() override { return bridge_.TakeTrigger(BridgeShortcut::kOpenMenu); }

 private:
  KeyboardBridge& bridge_;
};

// Installs the bridge in Windows 10 mode and logs how that went. True when it runs.
bool InstallKeyboardBridge(KeyboardBridge& bridge, const settings::ShortcutPair& shortcuts,
                           uint32_t osBuild);

}  // namespace halvex
