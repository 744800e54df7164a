#include "ui/win/win32_tray.h"


#include <string>
#include <utility>

#include "core/text.h"

namespace halvex {
namespace {

// Copies `text` into a fixed wide field, cut to fit with its terminator.
template <size_t N>
void CopyField(wchar_t (&field)[N], std::wstring_view text) {
  const size_t n = text.size() < N ? text.size() : N - 1;
  text.copy(field, n);
  field[n] = L'\0';
}

}  // namespace

HICON LoadProgramIcon() {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                       MAKEINTRESOURCEW(kProgramIconResource), IMAGE_ICON, 0, 0,
                                       LR_DEFAULTSIZE));
}

HMENU BuildTrayMenu() {
  HMENU menu = CreatePopupMenu();
  if (!menu) return nullptr;
  bool first = true;
  for (const TrayMenuEntry& entry : kTrayMenu) {
    if (!first) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    first = false;
    const std::wstring label = text::Utf8ToWide(entry.label);
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(entry.command), label.c_str());
  }
  return menu;
}

Win32Tray::Win32Tray(IconLoader loadIcon) : loadIcon_(std::move(loadIcon)) {}

Win32Tray::~Win32Tray() { Remove(); }

NOTIFYICONDATAW Win32Tray::IconData() const {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = Window();
  data.uID = kTrayIconId;
  return data;
}

bool Win32Tray::Add() {
  const bool made = window_.Create(kTrayWindowClass, kTrayWindowTitle,
                                   [this](unsigned message, uintptr_t wparam, intptr_t lparam) {
                                     return OnMessage(message, wparam, lparam);
                                   });
  if (!made) return false;
  icon_ = loadIcon_ ? loadIcon_() : nullptr;
  if (!icon_) {
    window_.Destroy();
    return false;
  }
  NOTIFYICONDATAW data = IconData();
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayCallbackMessage;
  data.hIcon = icon_;
  const std::u16string tip = FitTrayTip(text::Utf8ToUtf16(kTrayTip));
  CopyField(data.szTip, std::wstring_view(reinterpret_cast<const wchar_t*>(tip.data()), tip.size()));
  if (!Shell_NotifyIconW(NIM_ADD, &data)) {
    DestroyIcon(std::exchange(icon_, nullptr));
    window_.Destroy();
    return false;
  }
  NOTIFYICONDATAW version = IconData();
  version.uVersion = NOTIFYICON_VERSION_4;
  Shell_NotifyIconW(NIM_SETVERSION, &version);
  return true;
}

void Win32Tray::Delete() {
  NOTIFYICONDATAW data = IconData();
  Shell_NotifyIconW(NIM_DELETE, &data);
  if (icon_) DestroyIcon(std::exchange(icon_, nullptr));
  window_.Destroy();
}

void Win32Tray::Notify(const TrayNotification& notification) {
  NOTIFYICONDATAW data = IconData();
  data.uFlags = NIF_INFO;
  CopyField(data.szInfoTitle, text::Utf8ToWide(notification.title));
  CopyField(data.szInfo, text::Utf8ToWide(notification.text));
  data.dwInfoFlags = NIIF_INFO;
  data.uTimeout = static_cast<UINT>(notification.timeoutMs);
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

bool Win32Tray::OnMessage(unsigned message, uintptr_t wparam, intptr_t lparam) {
  if (message == kTrayCallbackMessage) {
    // Version 4 carries the event in the low word (the icon id is in the high word).
    switch (LOWORD(lparam)) {
      case WM_CONTEXTMENU:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
        ShowMenu();
        break;
      case WM_LBUTTONDBLCLK:
      case NIN_SELECT:
        OnActivate();
        break;
      default:
        break;
    }
    return true;
  }
  if (message == kTrayWakeMessage) {
    OnActivate();
    if (onWake_) onWake_();
    return true;
  }
  if (message == WM_COMMAND) return RunCommand(LOWORD(wparam));
  return false;
}

void Win32Tray::ShowMenu() {
  HMENU menu = BuildTrayMenu();
  if (!menu) return;
  POINT at{};
  GetCursorPos(&at);
  HWND window = Window();
  // Without the foreground the menu would not close when the player clicks elsewhere.
  SetForegroundWindow(window);
  const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(
      menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, window, nullptr));
  PostMessageW(window, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (chosen != 0) RunCommand(chosen);
}

bool Win32Tray::RunCommand(UINT id) {
  if (id == static_cast<UINT>(TrayCommand::Quit)) PostQuitMessage(0);
  return OnCommand(id);
}

}  // namespace halvex
