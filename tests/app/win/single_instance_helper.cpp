// A first instance for the single-instance tests: claims the mutex, shows the tray window (unless
// "--no-window" follows), signals the ready event named first and waits for the wake or for the
// quit event named second.
// Exit codes: 0 woken, 2 not woken in time, 3 was not the first instance, 4 bad arguments.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/win/single_instance_win.h"
#include "ui/win/drawn_tray_icon.h"
#include "ui/win/win32_tray.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) return 4;
  const bool withWindow = argc < 4 || std::wstring(argv[3]) != L"--no-window";
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
  HANDLE quit = OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
  if (!ready) return 4;

  halvex::SingleInstance::Claim claim = halvex::SingleInstance::Acquire();
  if (claim.result != halvex::SingleInstance::Result::Primary) return 3;
  bool woken = false;
  halvex::Win32Tray tray(halvex::test::DrawnTrayIcon);
  halvex::WatchWakes(tray, [&] { woken = true; });
  if (withWindow && !tray.Create()) return 4;
  SetEvent(ready);

  const DWORD until = GetTickCount() + 20000;
  MSG msg;
  while (!woken && static_cast<LONG>(until - GetTickCount()) > 0) {
    const DWORD handles = quit ? 1 : 0;
    const DWORD wait = MsgWaitForMultipleObjects(handles, &quit, FALSE, 100, QS_ALLINPUT);
    if (quit && wait == WAIT_OBJECT_0) break;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  // The wake is counted for PollWake as well as handed to the callback.
  if (woken && !claim.instance->PollWake()) return 5;
  return woken ? 0 : 2;
}
