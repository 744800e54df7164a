#pragma once
// Windows virtual-key codes (what settings store) to X keysyms. Plain numbers so that portable code,
// the key-name lookup and the X key-state poller share one table without X headers.
#include <cstdint>

#include "input/hotkey_combo.h"

namespace halvex {

using Keysym = uint32_t;

struct VkKeysyms {
  Keysym primary = 0;    // the keysym that names the key; 0 when the key has none
  Keysym alternate = 0;  // a second keysym the same key may produce on X (0 when none)
};

// Keysyms of a virtual key (both 0 for unknown codes). Generic modifiers (16, 17, 18) give their
// left and right keysyms; letters give the lower-case keysym; OEM keys follow the US layout.
VkKeysyms KeysymsForVirtualKey(VirtualKey vk);

}  // namespace halvex
