// The named mutex and the wake message between two real processes.
#include "app/win/single_instance_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/win/tray_window.h"

namespace halvex {
namespace {

using Outcome = WindowsSingleInstance::Outcome;

std::wstring BinaryDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

size_t TrayWindowCount() {
  size_t count = 0;
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, kTrayWindowClass, nullptr));) ++count;
  return count;
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

TEST(WindowsSingleInstanceTest, SecondStartWakesTheRunningInstanceAndLetsGo) {
  {
    FirstInstance first(true);
    ASSERT_TRUE(first.WaitReady());
    WindowsSingleInstance second;
    EXPECT_EQ(second.ClaimOrWake(), Outcome::kHandedOver);
    EXPECT_FALSE(second.HoldsMutex());
    EXPECT_EQ(first.ExitCode(), 0);  // the helper saw WM_APP + 0x411
    EXPECT_EQ(TrayWindowCount(), 0u);
  }
  // Both handles are gone with the helper and the handed-over claim: the next start is first.
  WindowsSingleInstance next;
  EXPECT_EQ(next.ClaimOrWake(), Outcome::kFirst);
  EXPECT_TRUE(next.HoldsMutex());
}

TEST(WindowsSingleInstanceTest, HeldMutexWithoutTrayWindowStillEndsTheSecondStart) {
  FirstInstance first(false);
  ASSERT_TRUE(first.WaitReady());
  WindowsSingleInstance second;
  EXPECT_EQ(second.ClaimOrWake(), Outcome::kNotFound);
  EXPECT_FALSE(second.HoldsMutex());
  first.Quit();
  EXPECT_EQ(first.ExitCode(), 2);
}

TEST(WindowsSingleInstanceTest, PortableClaimInOneProcessAndTheTrayWake) {
  SingleInstance::Claim primary = SingleInstance::Acquire();
  ASSERT_EQ(primary.result, SingleInstance::Result::Primary);
  ASSERT_TRUE(primary.instance);
  EXPECT_FALSE(primary.instance->PollWake());

  int wakes = 0;
  TrayWindow tray;
  ASSERT_TRUE(tray.Create([&] { ++wakes; }));
  EXPECT_TRUE(tray.Create([&] { wakes += 100; }));  // creating twice keeps the first window
  ASSERT_EQ(TrayWindowCount(), 1u);

  // A later start in the same session (here: the same process) finds the window and posts.
  SingleInstance::Claim later = SingleInstance::Acquire();
  EXPECT_EQ(later.result, SingleInstance::Result::HandedOver);
  EXPECT_FALSE(later.instance);
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(wakes, 1);
  EXPECT_TRUE(primary.instance->PollWake());
  EXPECT_FALSE(primary.instance->PollWake());

  tray.Destroy();
  EXPECT_EQ(TrayWindowCount(), 0u);
}

}  // namespace
}  // namespace halvex
