#pragma once
// The overlay badge's window on Windows: a layered top-most popup that never activates, lets the
// mouse through and asks to be left out of screen captures. The key colour RGB(1,2,3) is
// see-through, the rest is drawn at alpha 225. It lives on the thread that creates it; that
// thread's message loop paints it and runs its hide timer.
#include <windows.h>

#include <functional>

#include "ui/overlay_window.h"

namespace halvex {

inline constexpr wchar_t kOverlayWindowClass[] = L"HalvexOverlayWindow";
inline constexpr wchar_t kOverlayWindowTitle[] = L"Halvex Overlay";
inline constexpr DWORD kOverlayWindowStyle = WS_POPUP;
inline constexpr DWORD kOverlayWindowExStyle = WS_EX_TOPMOST | WS_EX_TRANSPARENT |
                                               WS_EX_TOOLWINDOW | WS_EX_LAYERED |
                                               WS_EX_NOACTIVATE;
inline constexpr COLORREF kOverlayColorKey = RGB(1, 2, 3);
inline constexpr BYTE kOverlayAlpha = 225;
// WDA_EXCLUDEFROMCAPTURE (Windows 10 2004 and later); older headers lack the name.
inline constexpr DWORD kExcludeFromCapture = 0x11;
inline constexpr UINT_PTR kOverlayHideTimerId = 19536;

class Win32OverlayWindow final : public IOverlayWindow {
 public:
  Win32OverlayWindow() = default;
  ~Win32OverlayWindow() override;
  Win32OverlayWindow(const Win32OverlayWindow&) = delete;
  Win32OverlayWindow& operator=(const Win32OverlayWindow&) = delete;

  // Makes the hidden window at 0,0 with 210 x 42. False when the class or the window could not be
  // made; a refused capture exclusion or layering does not fail it. Creating twice returns true.
  bool Create();
  // Stops the hide timer, then destroys the window. Safe to call more than once.
  void Destroy();
  HWND Handle() const { return window_; }

  void Place(const Rect& bounds) override;
  void ShowNoActivate() override;
  void Hide() override;
  bool IsShown() override;
  void RaiseTopMost() override;
  void Repaint(Painter paint) override;
  void StartHideTimer(int ms, std::function<void()> elapsed) override;
  void StopHideTimer() override;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();

  HWND window_ = nullptr;
  Painter painter_;
  std::function<void()> onHideTimer_;
};

}  // namespace halvex
