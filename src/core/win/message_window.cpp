#include "core/win/message_window.h"

#include <windows.h>

#include <utility>

namespace halvex {

struct MessageWindowProc {
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && self->handler_) {
      try {
        if (self->handler_(message, wparam, lparam)) return 0;
      } catch (...) {
        // Nothing may unwind through the system's dispatch.
        return 0;
      }
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
};

MessageWindow::~MessageWindow() { Destroy(); }

bool MessageWindow::Create(const wchar_t* className, const wchar_t* title, Handler handler) {
  if (window_) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &MessageWindowProc::Proc;
  wc.hInstance = instance;
  wc.lpszClassName = className;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  handler_ = std::move(handler);
  window_ = CreateWindowExW(0, className, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                            this);
  if (!window_) handler_ = nullptr;
  return window_ != nullptr;
}

void MessageWindow::Destroy() {
  if (window_) DestroyWindow(static_cast<HWND>(window_));
  window_ = nullptr;
  handler_ = nullptr;
}

}  // namespace halvex
