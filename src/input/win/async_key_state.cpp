#include "input/win/async_key_state.h"

#include <windows.h>

namespace halvex {

bool AsyncKeyState::IsDown(VirtualKey code) const {
  if (!IsStorableKey(code)) return false;
  return (static_cast<unsigned short>(GetAsyncKeyState(static_cast<int>(code))) & 0x8000u) != 0;
}

}  // namespace halvex
