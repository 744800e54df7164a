#pragma once
// Where the screen is duplicated while the game has focus: keeps private windows and the
// composition attribute right for duplication.
#include "input/window_system.h"

namespace halvex {

class IPrivateWindowGuard {
 public:
  virtual ~IPrivateWindowGuard() = default;
  // The game has focus: exclude private windows over it from duplication.
  virtual void ExcludePrivateWindows(WindowId game) = 0;
  // Focus lost or session over: undo every exclusion.
  virtual void RestorePrivateWindows() = 0;
};

}  // namespace halvex
