// A second process for the window-query tests: creates windows on command (one line on stdin,
// one answer line on stdout) so that they belong to another process, as a game's would.
//   window <class> <width> <height> <minimised 0|1> <owner hwnd|0> <title or ->
//   front <hwnd>            bring a window to the foreground
//   child <class> <title>   start a copy of this program that shows one 800x600 window
//   quit
// A child started with "--child <class> <title>" shows its window and lives until its parent ends.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

constexpr UINT kCommandMessage = WM_APP + 1;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

HWND MakeWindow(const std::string& className, int width, int height, bool minimised, HWND owner,
                const std::string& title) {
  const std::wstring cls = Wide(className);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = cls.c_str();
  RegisterClassExW(&wc);
  const std::wstring text = title == "-" ? std::wstring() : Wide(title);
  HWND hwnd = CreateWindowExW(0, cls.c_str(), text.c_str(), WS_OVERLAPPEDWINDOW, 10, 10, width,
                              height, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return nullptr;
  ShowWindow(hwnd, minimised ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
  if (!minimised) SetForegroundWindow(hwnd);
  return hwnd;
}

void Pump(DWORD ms) {
  const DWORD until = GetTickCount() + ms;
  MSG msg;
  while (static_cast<LONG>(until - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (verb == "window") {
    std::string cls, title;
    int width = 0, height = 0, minimised = 0;
    unsigned long long owner = 0;
    in >> cls >> width >> height >> minimised >> owner;
    std::getline(in >> std::ws, title);
    HWND hwnd = MakeWindow(cls, width, height, minimised != 0,
                           reinterpret_cast<HWND>(static_cast<uintptr_t>(owner)), title);
    Pump(100);
    return std::to_string(reinterpret_cast<uintptr_t>(hwnd));
  }
  if (verb == "front") {
    unsigned long long hwnd = 0;
    in >> hwnd;
    const BOOL ok = SetForegroundWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(hwnd)));
    Pump(100);
    return ok ? "ok" : "failed";
  }
  if (verb == "child") {
    std::string cls, title;
    in >> cls >> title;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --child " + Wide(cls) + L" " +
                           Wide(title) + L" " + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
      return "0";
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return std::to_string(pi.dwProcessId);
  }
  return "?";
}

int ChildMain(int argc, wchar_t** argv) {
  const std::wstring cls = argv[2];
  const std::wstring title = argv[3];
  const DWORD parent = static_cast<DWORD>(std::wcstoul(argv[4], nullptr, 10));
  HANDLE parentHandle = OpenProcess(SYNCHRONIZE, FALSE, parent);
  MakeWindow(std::string(cls.begin(), cls.end()), 800, 600, false, nullptr,
             std::string(title.begin(), title.end()));
  MSG msg;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(parentHandle ? 1 : 0, &parentHandle, FALSE, 30000,
                                                 QS_ALLINPUT);
    if (wait != WAIT_OBJECT_0 + (parentHandle ? 1 : 0)) break;  // parent gone or time-out
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc >= 5 && std::wcscmp(argv[1], L"--child") == 0) return ChildMain(argc, argv);

  // Commands arrive on a reader thread; windows are made and pumped on this one.
  const DWORD mainThread = GetCurrentThreadId();
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  CreateThread(
      nullptr, 0,
      [](void* param) -> DWORD {
        const DWORD target = static_cast<DWORD>(reinterpret_cast<uintptr_t>(param));
        std::string line;
        while (std::getline(std::cin, line)) {
          if (!line.empty() && line.back() == '\r') line.pop_back();
          PostThreadMessageW(target, kCommandMessage, 0,
                             reinterpret_cast<LPARAM>(new std::string(line)));
        }
        PostThreadMessageW(target, WM_QUIT, 0, 0);
        return 0;
      },
      reinterpret_cast<void*>(static_cast<uintptr_t>(mainThread)), 0, nullptr);

  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kCommandMessage) {
      std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(msg.lParam));
      if (*line == "quit") break;
      std::cout << Run(*line) << std::endl;
      continue;
    }
    DispatchMessageW(&msg);
  }
  return 0;
}
