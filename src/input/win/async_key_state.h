#pragma once
// Key states from GetAsyncKeyState: the polling source of the shortcuts on Windows.
#include "input/key_state.h"

namespace halvex {

class AsyncKeyState final : public KeyState {
 public:
  bool IsDown(VirtualKey code) const override;
};

}  // namespace halvex
