#pragma once
// A hidden message-only window whose messages go to a handler on the thread that created it.
// Another process finds it by class (FindWindowExW with HWND_MESSAGE) and posts to it.
#include <cstdint>
#include <functional>

namespace halvex {

class MessageWindow {
 public:
  // True when the handler took the message (the window answers 0); false leaves it to
  // DefWindowProcW. Exceptions stop at the window procedure: the message counts as taken.
  using Handler = std::function<bool(unsigned message, uintptr_t wparam, intptr_t lparam)>;

  MessageWindow() = default;
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  // Registers the class unless it exists already. Creating twice keeps the first window and its
  // handler and returns true at once.
  bool Create(const wchar_t* className, const wchar_t* title, Handler handler);
  void Destroy();
  void* Handle() const { return window_; }

 private:
  friend struct MessageWindowProc;

  void* window_ = nullptr;
  Handler handler_;
};

}  // namespace halvex
