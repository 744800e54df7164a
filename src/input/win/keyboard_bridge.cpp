#include "input/win/keyboard_bridge.h"

#include <windows.h>

#include "core/win/message_window.h"

namespace halvex {
namespace {

constexpr wchar_t kClassName[] = L"HalvexWin10HotkeyBridge";
constexpr wchar_t kWindowTitle[] = L"Halvex Win10 Hotkey Bridge";
constexpr UINT kReregisterMessage = WM_APP + 0x51;  // 0x8051
constexpr DWORD kStartWaitMs = 1500;

// The hook procedure has no context parameter; it reads the one running bridge from here.
std::atomic<HotkeyBridgeState*> g_hookState{nullptr};

}  // namespace

struct KeyboardBridgeProcs {
  static LRESULT CALLBACK HookProc(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HC_ACTION) {
      const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
      HotkeyBridgeState* state = g_hookState.load();
      if (state && event && event->vkCode <= 255) {
        // Nothing may unwind through the system's callback frames.
        try {
          if (wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN) {
            state->OnKeyEvent(event->vkCode, true);
          } else if (wparam == WM_KEYUP || wparam == WM_SYSKEYUP) {
            state->OnKeyEvent(event->vkCode, false);
          }
        } catch (...) {
        }
      }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
};

KeyboardBridge::~KeyboardBridge() { Stop(); }

bool KeyboardBridge::Start(const HotkeyCombo& save, const HotkeyCombo& menu) {
  if (started_) return up_.load();
  state_.Reset(save, menu);

  ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ready_) return false;
  HotkeyBridgeState* expected = nullptr;
  if (!g_hookState.compare_exchange_strong(expected, &state_)) {
    // Another bridge already owns the hook.
    CloseHandle(ready_);
    ready_ = nullptr;
    return false;
  }
  started_ = true;
  running_.store(true);
  try {
    thread_ = std::thread([this] {
      try {
        ThreadMain();
      } catch (...) {
        SetEvent(ready_);
      }
    });
  } catch (...) {
    Stop();
    return false;
  }
  WaitForSingleObject(ready_, kStartWaitMs);
  if (!up_.load()) {
    Stop();
    return false;
  }
  return true;
}

void KeyboardBridge::UpdateCombos(const HotkeyCombo& save, const HotkeyCombo& menu) {
  state_.UpdateCombos(save, menu);
  if (HWND window = static_cast<HWND>(window_.load())) {
    PostMessageW(window, kReregisterMessage, 0, 0);
  }
}

void KeyboardBridge::Stop() {
  if (!started_) return;
  running_.store(false);
  // The thread records its id before it checks the running flag, so one of the two sides sees
  // the other: either the message arrives or the loop is never entered.
  if (const DWORD id = threadId_.load()) PostThreadMessageW(id, WM_QUIT, 0, 0);
  if (thread_.joinable()) thread_.join();
  threadId_.store(0);
  up_.store(false);
  state_.Reset({}, {});
  HotkeyBridgeState* mine = &state_;
  g_hookState.compare_exchange_strong(mine, nullptr);
  if (ready_) CloseHandle(ready_);
  ready_ = nullptr;
  started_ = false;
}

void KeyboardBridge::ThreadMain() {
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // make the queue exist
  threadId_.store(GetCurrentThreadId());

  MessageWindow messages;
  messages.Create(kClassName, kWindowTitle, [this](unsigned message, uintptr_t wparam, intptr_t) {
    if (message == WM_HOTKEY) {
      if (const auto shortcut = ShortcutOfHotkeyId(static_cast<int64_t>(wparam))) {
        state_.Fire(*shortcut);
      }
      return true;
    }
    if (message == kReregisterMessage) {
      RegisterHotkeys();
      return true;
    }
    return false;
  });
  HWND window = static_cast<HWND>(messages.Handle());
  window_.store(window);
  if (window) RegisterHotkeys();
  hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, &KeyboardBridgeProcs::HookProc,
                            GetModuleHandleW(nullptr), 0);

  const bool up = window != nullptr || hook_ != nullptr;
  up_.store(up);
  SetEvent(ready_);
  if (up) {
    while (running_.load()) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) break;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

  if (hook_) UnhookWindowsHookEx(static_cast<HHOOK>(hook_));
  hook_ = nullptr;
  UnregisterHotkeys();
  window_.store(nullptr);
  messages.Destroy();
  up_.store(false);
  threadId_.store(0);
}

void KeyboardBridge::UnregisterHotkeys() {
  HWND window = static_cast<HWND>(window_.load());
  for (const BridgeShortcut s : {BridgeShortcut::kSaveClip, BridgeShortcut::kOpenMenu}) {
    if (window) UnregisterHotKey(window, HotkeyIdOf(s));
    state_.SetRegistered(s, false);
  }
}

void KeyboardBridge::RegisterHotkeys() {
  UnregisterHotkeys();
  HWND window = static_cast<HWND>(window_.load());
  for (const BridgeShortcut s : {BridgeShortcut::kSaveClip, BridgeShortcut::kOpenMenu}) {
    const auto plan = PlanHotkeyRegistration(state_.Combo(s));
    if (!plan) continue;  // two or more main keys: the hook alone
    if (RegisterHotKey(window, HotkeyIdOf(s), plan->modifiers, plan->key)) {
      state_.SetRegistered(s, true);
    }
  }
}

}  // namespace halvex
