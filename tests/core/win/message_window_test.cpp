#include "core/win/message_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <vector>

namespace halvex {
namespace {

constexpr wchar_t kClass[] = L"HalvexMessageWindowTest";
constexpr UINT kPing = WM_APP + 0x77;
constexpr UINT kThrow = WM_APP + 0x78;

struct Seen {
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

// A handler that records the messages it takes (`taken`) and leaves the rest to the default.
MessageWindow::Handler Recorder(std::vector<Seen>& seen, std::set<UINT> taken) {
  return [&seen, taken](unsigned message, uintptr_t wparam, intptr_t lparam) {
    if (message == kThrow) throw std::runtime_error("handler failed");
    if (!taken.count(message)) return false;
    seen.push_back({message, wparam, lparam});
    return true;
  };
}

HWND Hwnd(const MessageWindow& window) { return static_cast<HWND>(window.Handle()); }

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

TEST(MessageWindow, TakenMessagesReachTheHandlerAndTheRestGetTheDefaultAnswer) {
  std::vector<Seen> seen;
  MessageWindow window;
  ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(seen, {kPing, WM_GETTEXTLENGTH})));
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, kClass, L"Prueba"), Hwnd(window));

  struct Case {
    UINT message;
    LRESULT answer;  // what SendMessageW returns
    bool handled;
  };
  const Case cases[] = {
      {kPing, 0, true},
      {WM_GETTEXTLENGTH, 0, true},  // taken: the handler's answer (0), not the title length
      {WM_APP + 0x79, 0, false},    // DefWindowProcW answers 0 for an application message
  };
  for (const Case& c : cases) {
    seen.clear();
    EXPECT_EQ(SendMessageW(Hwnd(window), c.message, 11, -22), c.answer) << c.message;
    ASSERT_EQ(seen.size(), c.handled ? 1u : 0u) << c.message;
    if (c.handled) {
      EXPECT_EQ(seen[0].wparam, 11u);
      EXPECT_EQ(seen[0].lparam, -22);
    }
  }

  // Not taken, so the system's default answers it: the title's length.
  std::vector<Seen> other;
  MessageWindow plain;
  ASSERT_TRUE(plain.Create(kClass, L"Prueba", Recorder(other, {})));
  EXPECT_EQ(SendMessageW(Hwnd(plain), WM_GETTEXTLENGTH, 0, 0), 6);
}

TEST(MessageWindow, PostedMessagesArriveThroughTheThreadsLoop) {
  std::vector<Seen> seen;
  MessageWindow window;
  ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(seen, {kPing})));
  ASSERT_TRUE(PostMessageW(Hwnd(window), kPing, 1, 2));
  EXPECT_TRUE(seen.empty()) << "only the loop delivers it";
  Pump();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, kPing);
}

TEST(MessageWindow, WindowsOfOneClassEachReachTheirOwnHandler) {
  std::vector<Seen> first, second;
  MessageWindow a, b;
  ASSERT_TRUE(a.Create(kClass, L"A", Recorder(first, {kPing})));
  ASSERT_TRUE(b.Create(kClass, L"B", Recorder(second, {kPing})));  // class already registered
  SendMessageW(Hwnd(b), kPing, 2, 0);
  SendMessageW(Hwnd(a), kPing, 1, 0);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(first[0].wparam, 1u);
  EXPECT_EQ(second[0].wparam, 2u);
}

TEST(MessageWindow, CreatingTwiceKeepsTheFirstWindowAndHandler) {
  std::vector<Seen> first, second;
  MessageWindow window;
  ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(first, {kPing})));
  void* handle = window.Handle();
  EXPECT_TRUE(window.Create(kClass, L"Otra", Recorder(second, {kPing})));
  EXPECT_EQ(window.Handle(), handle);
  SendMessageW(Hwnd(window), kPing, 0, 0);
  EXPECT_EQ(first.size(), 1u);
  EXPECT_TRUE(second.empty());
}

TEST(MessageWindow, AFailingHandlerDoesNotUnwindThroughTheSystem) {
  std::vector<Seen> seen;
  MessageWindow window;
  ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(seen, {kPing})));
  EXPECT_EQ(SendMessageW(Hwnd(window), kThrow, 0, 0), 0);
  ASSERT_TRUE(PostMessageW(Hwnd(window), kThrow, 0, 0));
  Pump();
  SendMessageW(Hwnd(window), kPing, 0, 0);  // still answering
  EXPECT_EQ(seen.size(), 1u);
}

TEST(MessageWindow, DestroyEndsTheWindowAndItCanBeMadeAgain) {
  std::vector<Seen> seen;
  HWND old = nullptr;
  {
    MessageWindow window;
    ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(seen, {kPing})));
    old = Hwnd(window);
    window.Destroy();
    EXPECT_EQ(window.Handle(), nullptr);
    EXPECT_FALSE(IsWindow(old));
    ASSERT_TRUE(window.Create(kClass, L"Prueba", Recorder(seen, {kPing})));
    old = Hwnd(window);
  }
  EXPECT_FALSE(IsWindow(old)) << "the destructor destroys it";
  EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, kClass, nullptr), nullptr);
}

}  // namespace
}  // namespace halvex
