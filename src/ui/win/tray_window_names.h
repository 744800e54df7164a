#pragma once
// How other processes reach the tray's hidden window: a second start finds it by class (a
// message-only window, FindWindowExW under HWND_MESSAGE) and posts the wake message to it.
namespace halvex {

inline constexpr wchar_t kTrayWindowClass[] = L"HalvexTrayWindow";
inline constexpr wchar_t kTrayWindowTitle[] = L"Halvex";
inline constexpr unsigned kTrayWakeMessage = 0x8000 + 0x411;      // WM_APP + 0x411
inline constexpr unsigned kTrayCallbackMessage = 0x8000 + 0x410;  // the icon's mouse events

}  // namespace halvex
