#include "input/linux/x11_key_state.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

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
  ListenForRawKeys();
}

void X11KeyState::ListenForRawKeys() {
  int event = 0, error = 0;
  int opcode = -1;
  if (!XQueryExtension(display_, "XInputExtension", &opcode, &event, &error)) return;
  int major = 2, minor = 0;
  if (XIQueryVersion(display_, &major, &minor) != Success || major < 2) return;
  // Raw events are only reported to the root window, never take the key from the window in
  // front, and come whatever window has the focus.
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
  XISetMask(bits.data(), XI_RawKeyPress);
  XISetMask(bits.data(), XI_RawKeyRelease);
  XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
  x11::ErrorTrap trap(display_);
  XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  XSync(display_, False);
  if (!trap.Failed()) xiOpcode_ = opcode;
}

void X11KeyState::TakeEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    XGenericEventCookie* cookie = &event.xcookie;
    if (cookie->type != GenericEvent || cookie->extension != xiOpcode_ ||
        !XGetEventData(display_, cookie)) {
      continue;
    }
    const auto* raw = static_cast<const XIRawEvent*>(cookie->data);
    const auto keycode = static_cast<VirtualKey>(raw->detail);
    if (cookie->evtype == XI_RawKeyPress && !(raw->flags & XIKeyRepeat)) {
      keys_.Press(keycode);
    } else if (cookie->evtype == XI_RawKeyRelease) {
      keys_.Release(keycode);
    }
    XFreeEventData(display_, cookie);
  }
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
  TakeEvents();
  std::array<char, 32> keymap{};
  const bool ok = XQueryKeymap(display_, keymap.data()) != 0 && !trap.Failed();
  for (VirtualKey keycode = 0; keycode < 256; ++keycode) {
    keys_.SetDown(keycode, ok && (keymap[keycode >> 3] & (1 << (keycode & 7))) != 0);
  }
  // Events the server sent before the key map's reply: a press among them that the map already
  // shows is not a second press (it is down already), and a tap is latched.
  TakeEvents();
  keys_.Publish();
  return ok;
}

bool X11KeyState::IsDown(VirtualKey code) const {
  if (code >= keycodes_.size()) return false;
  for (const unsigned char keycode : keycodes_[code]) {
    if (keys_.IsDown(keycode)) return true;
  }
  return false;
}

bool X11KeyState::WentDown(VirtualKey code) const {
  if (code >= keycodes_.size()) return false;
  for (const unsigned char keycode : keycodes_[code]) {
    if (keys_.WentDown(keycode)) return true;
  }
  return false;
}

}  // namespace halvex
