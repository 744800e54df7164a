#pragma once
// The tray's hidden message-only window, class "HalvexTrayWindow", title "Halvex", on the thread
// that creates it. A second instance finds it and posts WM_APP + 0x411 to wake this one.
#include <functional>

namespace halvex {

class TrayWindow {
 public:
  TrayWindow() = default;
  ~TrayWindow();
  TrayWindow(const TrayWindow&) = delete;
  TrayWindow& operator=(const TrayWindow&) = delete;

  // Creating twice returns true at once. `onWake` runs on the creating thread's message loop.
  bool Create(std::function<void()> onWake);
  void Destroy();
  void* Handle() const { return window_; }

 private:
  friend struct TrayWindowProc;

  void* window_ = nullptr;
  std::function<void()> onWake_;
};

}  // namespace halvex
