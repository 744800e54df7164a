#include <X11/Xlib.h>

#include <string>

#include "input/key_name_platform.h"
#include "input/vk_keysym_table.h"

namespace halvex::platform {

// X has no layout-dependent key names without a display; the keysym's name stands in for it.
std::string LayoutKeyName(VirtualKey code) {
  const Keysym keysym = KeysymsForVirtualKey(code).primary;
  if (keysym == 0) return {};
  const char* name = XKeysymToString(static_cast<KeySym>(keysym));
  return name != nullptr ? std::string(name) : std::string();
}

}  // namespace halvex::platform
