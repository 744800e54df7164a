#include "app/win/tray_window.h"

#include <windows.h>

#include "app/win/single_instance_win.h"

namespace halvex {

struct TrayWindowProc {
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TrayWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == kWakeMessage) {
      NoteWakeRequest();
      if (self->onWake_) {
        try {
          self->onWake_();
        } catch (...) {
          // A failing handler must not unwind through the system's dispatch.
        }
      }
      return 0;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
};

TrayWindow::~TrayWindow() { Destroy(); }

bool TrayWindow::Create(std::function<void()> onWake) {
  if (window_) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &TrayWindowProc::Proc;
  wc.hInstance = instance;
  wc.lpszClassName = kTrayWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  onWake_ = std::move(onWake);
  window_ = CreateWindowExW(0, kTrayWindowClass, L"Halvex", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            instance, this);
  if (!window_) onWake_ = nullptr;
  return window_ != nullptr;
}

void TrayWindow::Destroy() {
  if (window_) DestroyWindow(static_cast<HWND>(window_));
  window_ = nullptr;
  onWake_ = nullptr;
}

}  // namespace halvex
