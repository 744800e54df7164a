#include "app/win/tray_window.h"

#include <utility>

#include "app/win/single_instance_win.h"

namespace halvex {

bool TrayWindow::Create(std::function<void()> onWake) {
  return window_.Create(kTrayWindowClass, L"Halvex",
                        [onWake = std::move(onWake)](unsigned message, uintptr_t, intptr_t) {
                          if (message != kWakeMessage) return false;
                          NoteWakeRequest();
                          if (onWake) onWake();
                          return true;
                        });
}

void TrayWindow::Destroy() { window_.Destroy(); }

}  // namespace halvex
