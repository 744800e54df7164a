#include "input/linux/x11_key_state.h"

#include <X11/Xlib.h>

#include <algorithm>

#include "input/linux/x11_error_trap.h"
#include "input/vk_keysym_table.h"

namespace halvex {

std::unique_ptr<X11KeyState> X11KeyState::Open(const char* displayName) {
  Display* display = XOpenDisplay(displayName);
  if (display == nullptr) return nullptr;
  return std::unique_ptr<X11KeyState>(new X11KeyState(display));
}

X11KeyState::X11KeyState(Display* display) : display_(display) {
  x11::InstallErrorHandler();
  ReloadMapping();
}

X11KeyState::~X11KeyState() { XCloseDisplay(display_); }

void X11KeyState::ReloadMapping() {
  for (auto& codes : keycodes_) codes.clear();
  int minCode = 0, maxCode = 0;
  XDisplayKeycodes(display_, &minCode, &maxCode);
  if (minCode < 8 || maxCode > 255 || maxCode < minCode) return;
  int perCode = 0;
  KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(minCode),
                                    maxCode - minCode + 1, &perCode);
  if (map == nullptr) return;
  // Every keysym a key code can produce (any group or level), so that a key is found whichever
  // level holds the keysym the table names.
  for (VirtualKey vk = 1; vk < keycodes_.size(); ++vk) {
    const VkKeysyms syms = KeysymsForVirtualKey(vk);
    if (syms.primary == 0) continue;
    for (int code = minCode; code <= maxCode; ++code) {
      const KeySym* row = map + static_cast<size_t>(code - minCode) * perCode;
      const bool produces = std::any_of(row, row + perCode, [&](KeySym s) {
        return s != NoSymbol && (s == syms.primary || (syms.alternate != 0 && s == syms.alternate));
      });
      if (produces) keycodes_[vk].push_back(static_cast<unsigned char>(code));
    }
  }
  XFree(map);
}

bool X11KeyState::Refresh() {
  x11::ErrorTrap trap(display_);
  if (XQueryKeymap(display_, keymap_.data()) == 0 || trap.Failed()) {
    keymap_.fill(0);
    return false;
  }
  return true;
}

bool X11KeyState::IsDown(VirtualKey code) const {
  if (code >= keycodes_.size()) return false;
  for (const unsigned char keycode : keycodes_[code]) {
    if (keymap_[keycode >> 3] & (1 << (keycode & 7))) return true;
  }
  return false;
}

}  // namespace halvex
