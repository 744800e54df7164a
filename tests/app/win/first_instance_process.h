#pragma once
// The single-instance helper program (halvex_single_instance_helper.exe, beside the test binary)
// as a first instance in another process: it holds the mutex, optionally shows the tray window,
// and exits 0 once woken.
#include <windows.h>

#include <string>

namespace halvex::test {

inline std::wstring BinaryDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

// A first instance in another process, ready once it holds the mutex (and its tray window).
class FirstInstance {
 public:
  explicit FirstInstance(bool withWindow) {
    const std::wstring suffix = std::to_wstring(GetCurrentProcessId());
    const std::wstring readyName = L"Local\\HalvexTestReady" + suffix;
    const std::wstring quitName = L"Local\\HalvexTestQuit" + suffix;
    ready_ = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
    quit_ = CreateEventW(nullptr, TRUE, FALSE, quitName.c_str());
    const std::wstring exe = BinaryDir() + L"halvex_single_instance_helper.exe";
    std::wstring command = L"\"" + exe + L"\" " + readyName + L" " + quitName +
                           (withWindow ? L"" : L" --no-window");
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi)) {
      CloseHandle(pi.hThread);
      process_ = pi.hProcess;
    }
  }
  ~FirstInstance() {
    SetEvent(quit_);
    if (process_ && WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 9);
    }
    if (process_) CloseHandle(process_);
    CloseHandle(ready_);
    CloseHandle(quit_);
  }
  bool WaitReady() {
    HANDLE both[] = {ready_, process_};
    return process_ && WaitForMultipleObjects(2, both, FALSE, 20000) == WAIT_OBJECT_0;
  }
  int ExitCode() {
    DWORD code = 0;
    if (WaitForSingleObject(process_, 20000) != WAIT_OBJECT_0) return -1;
    return GetExitCodeProcess(process_, &code) ? static_cast<int>(code) : -1;
  }
  void Quit() { SetEvent(quit_); }

 private:
  HANDLE ready_ = nullptr;
  HANDLE quit_ = nullptr;
  HANDLE process_ = nullptr;
};

}  // namespace halvex::test
