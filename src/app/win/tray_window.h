#pragma once
// The tray's hidden message-only window, class "HalvexTrayWindow", title "Halvex", on the thread
// that creates it. A second instance finds it and posts WM_APP + 0x411 to wake this one.
#include <functional>

#include "core/win/message_window.h"

namespace halvex {

// Not copyable; the window ends with the object.
class TrayWindow {
 public:
  // Creating twice returns true at once. `onWake` runs on the creating thread's message loop.
  bool Create(std::function<void()> onWake);
  void Destroy();
  void* Handle() const { return window_.Handle(); }

 private:
  MessageWindow window_;
};

}  // namespace halvex
