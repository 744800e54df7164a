#pragma once
// The Windows tray: a notification-area icon whose events reach a message-only window
// ("HalvexTrayWindow", title "Halvex") on the thread that creates it. The thread's message loop
// delivers them; the player's choices become requests (TakeRequests), and "Salir de Halvex" also
// posts WM_QUIT so the loop ends even where nobody takes the requests.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <utility>

#include "core/win/message_window.h"
#include "ui/tray.h"
#include "ui/win/tray_window_names.h"

namespace halvex {

inline constexpr UINT kTrayIconId = 1;
inline constexpr WORD kProgramIconResource = 101;

// The program's icon: resource 101 of the executable at the system's default icon size.
HICON LoadProgramIcon();

// The icon's popup menu: "Abrir configuracion", a separator, "Salir de Halvex", with their command
// ids. The caller destroys it.
HMENU BuildTrayMenu();

class Win32Tray final : public TrayBase {
 public:
  // Returns the icon the tray owns (destroyed with the icon), or nullptr to fail the creation.
  using IconLoader = std::function<HICON()>;

  explicit Win32Tray(IconLoader loadIcon = LoadProgramIcon);
  ~Win32Tray() override;
  Win32Tray(const Win32Tray&) = delete;
  Win32Tray& operator=(const Win32Tray&) = delete;

  // The thread's message loop delivers the window's messages: nothing is left to do here.
  void Pump() override {}

  // Runs on the wake message from another start of the program, after the open-settings request
  // it raises.
  void SetWakeObserver(std::function<void()> onWake) { onWake_ = std::move(onWake); }

  // The hidden window while the icon exists.
  HWND Window() const { return static_cast<HWND>(window_.Handle()); }

 private:
  bool Add() override;
  void Delete() override;
  void Notify(const TrayNotification& notification) override;

  bool OnMessage(unsigned message, uintptr_t wparam, intptr_t lparam);
  void ShowMenu();
  bool RunCommand(UINT id);
  NOTIFYICONDATAW IconData() const;

  IconLoader loadIcon_;
  std::function<void()> onWake_;
  MessageWindow window_;
  HICON icon_ = nullptr;
};

}  // namespace halvex
