#pragma once
// Which keys are down on the X server, for the shortcut poll: one XQueryKeymap per Refresh(),
// then IsDown answers from that snapshot through the virtual-key to keysym table.
#include <array>
#include <memory>
#include <vector>

#include "input/key_state.h"

// Xlib's Display, declared without its header (whose macros would reach every includer).
struct _XDisplay;

namespace halvex {

class X11KeyState final : public KeyState {
 public:
  // Opens its own connection (`displayName` null: $DISPLAY); nullptr when there is no display.
  static std::unique_ptr<X11KeyState> Open(const char* displayName = nullptr);
  ~X11KeyState() override;
  X11KeyState(const X11KeyState&) = delete;
  X11KeyState& operator=(const X11KeyState&) = delete;

  // Takes the current key map; false when the server could not be asked (all keys read up).
  bool Refresh();
  bool IsDown(VirtualKey code) const override;
  // Builds the key-code table again (after the keyboard mapping changed).
  void ReloadMapping();

 private:
  explicit X11KeyState(_XDisplay* display);

  _XDisplay* display_;
  std::array<char, 32> keymap_{};
  // Key codes that produce each virtual key's keysyms (either variant of a modifier).
  std::array<std::vector<unsigned char>, 256> keycodes_;
};

}  // namespace halvex
