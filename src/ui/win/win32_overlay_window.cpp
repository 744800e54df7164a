#include "ui/win/win32_overlay_window.h"

#include <utility>

#include "ui/overlay_look.h"
#include "ui/win/gdi_canvas.h"

namespace halvex {

Win32OverlayWindow::~Win32OverlayWindow() { Destroy(); }

bool Win32OverlayWindow::Create() {
  if (window_) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  // A resize invalidates the whole client area: the dot and the badges are painted to their size.
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &Win32OverlayWindow::Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kOverlayWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  const Size size = overlay::kExpandedSize;
  window_ = CreateWindowExW(kOverlayWindowExStyle, kOverlayWindowClass, kOverlayWindowTitle,
                            kOverlayWindowStyle, 0, 0, size.width, size.height, nullptr, nullptr,
                            instance, this);
  if (!window_) return false;
  // Systems before Windows 10 2004 refuse the exclusion; the badge then shows in a full-screen
  // capture, which is all they allow.
  SetWindowDisplayAffinity(window_, kExcludeFromCapture);
  SetLayeredWindowAttributes(window_, kOverlayColorKey, kOverlayAlpha, LWA_COLORKEY | LWA_ALPHA);
  return true;
}

void Win32OverlayWindow::Destroy() {
  if (!window_) return;
  StopHideTimer();
  HWND window = std::exchange(window_, nullptr);
  DestroyWindow(window);
  painter_ = nullptr;
}

void Win32OverlayWindow::Place(const Rect& bounds) {
  if (!window_) return;
  SetWindowPos(window_, HWND_TOPMOST, bounds.left, bounds.top, bounds.Width(), bounds.Height(),
               SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void Win32OverlayWindow::ShowNoActivate() {
  if (window_) ShowWindow(window_, SW_SHOWNOACTIVATE);
}

void Win32OverlayWindow::Hide() {
  if (window_) ShowWindow(window_, SW_HIDE);
}

bool Win32OverlayWindow::IsShown() { return window_ && IsWindowVisible(window_); }

void Win32OverlayWindow::RaiseTopMost() {
  if (!window_) return;
  const LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
  SetWindowLongW(window_, GWL_EXSTYLE, exStyle | WS_EX_TOPMOST);
  SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
}

void Win32OverlayWindow::Repaint(Painter paint) {
  painter_ = std::move(paint);
  if (!window_) return;
  InvalidateRect(window_, nullptr, FALSE);
  UpdateWindow(window_);
}

void Win32OverlayWindow::StartHideTimer(int ms, std::function<void()> elapsed) {
  if (!window_) return;
  onHideTimer_ = std::move(elapsed);
  SetTimer(window_, kOverlayHideTimerId, static_cast<UINT>(ms), nullptr);
}

void Win32OverlayWindow::StopHideTimer() {
  if (window_) KillTimer(window_, kOverlayHideTimerId);
  onHideTimer_ = nullptr;
}

LRESULT CALLBACK Win32OverlayWindow::Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32OverlayWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && self->window_ == hwnd) return self->OnMessage(message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32OverlayWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel; erasing first would flicker
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_TIMER:
      if (wparam == kOverlayHideTimerId) {
        // The callback may stop or restart the timer: it runs from a copy.
        std::function<void()> elapsed = onHideTimer_;
        if (elapsed) {
          try {
            elapsed();
          } catch (...) {
            // Nothing may unwind through the system's dispatch.
          }
        } else {
          KillTimer(window_, kOverlayHideTimerId);
        }
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void Win32OverlayWindow::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  if (!dc) return;
  RECT client{};
  GetClientRect(window_, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  // Drawn off screen and copied in one go, so the key colour never shows half-painted.
  GdiCanvas canvas(width, height);
  if (canvas.Valid()) {
    canvas.FillRect(Rect{0, 0, width, height}, overlay::kKeyColor);
    if (painter_) {
      try {
        painter_(canvas);
      } catch (...) {
        // A failed paint leaves the key colour: nothing shows.
      }
    }
    BitBlt(dc, 0, 0, width, height, canvas.DC(), 0, 0, SRCCOPY);
  }
  EndPaint(window_, &ps);
}

}  // namespace halvex
