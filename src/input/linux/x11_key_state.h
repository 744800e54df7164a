#pragma once
// Which keys are down on the X server, for the shortcut poll. Presses arrive as XInput2 raw key
// events on the root window (which leave every key to the program in front), so a press shorter
// than a pass of the loop is still seen; XQueryKeymap at each Refresh() gives the state of keys
// held before the events began. IsDown/WentDown answer through the virtual-key to keysym table.
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

  // One read of the keyboard: the key events since the previous read and the current key map;
  // false when the server could not be asked (all keys read up, presses still reported).
  bool Refresh();
  bool IsDown(VirtualKey code) const override;
  bool WentDown(VirtualKey code) const override;
  // Builds the key-code table again (after the keyboard mapping changed).
  void ReloadMapping();
  // Whether key presses arrive as events (the server has XInput 2); otherwise only sampled.
  bool EventsAvailable() const { return xiOpcode_ >= 0; }

 private:
  explicit X11KeyState(_XDisplay* display);
  void ListenForRawKeys();
  void TakeEvents();

  _XDisplay* display_;
  int xiOpcode_ = -1;
  KeyEventTable keys_;  // indexed by X key code
  // Key codes that produce each virtual key's keysyms (either variant of a modifier).
  std::array<std::vector<unsigned char>, 256> keycodes_;
};

}  // namespace halvex
