#include "app/win/single_instance_win.h"

#include <windows.h>

namespace halvex {
namespace {

constexpr int kAttempts = 40;
constexpr DWORD kRetryMs = 50;

std::atomic<bool> g_wakeRequested{false};

HWND FindTrayWindow() { return FindWindowExW(HWND_MESSAGE, nullptr, kTrayWindowClass, nullptr); }

}  // namespace

void NoteWakeRequest() { g_wakeRequested.store(true); }

WindowsSingleInstance::~WindowsSingleInstance() {
  if (mutex_) {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
}

WindowsSingleInstance::Outcome WindowsSingleInstance::ClaimOrWake() {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
  const DWORD error = GetLastError();
  // A mutex made in another security context cannot be opened, but it is there all the same.
  const bool existed = error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED);

  HWND tray = nullptr;
  for (int i = 0; i < kAttempts && !tray; ++i) {
    tray = FindTrayWindow();
    if (!tray && existed) Sleep(kRetryMs);
  }
  if (!tray && !existed) {
    mutex_ = mutex;
    return Outcome::kFirst;
  }
  // The running instance may still be starting: give its tray window a little longer.
  for (int i = 0; i < kAttempts && !tray; ++i) {
    Sleep(kRetryMs);
    tray = FindTrayWindow();
  }
  const bool posted = tray && PostMessageW(tray, kWakeMessage, 0, 0);
  if (mutex) CloseHandle(mutex);
  return posted ? Outcome::kHandedOver : Outcome::kNotFound;
}

bool WindowsSingleInstance::PollWake() { return g_wakeRequested.exchange(false); }

SingleInstance::Claim SingleInstance::Acquire() {
  Claim claim;
  auto instance = std::make_unique<WindowsSingleInstance>();
  if (instance->ClaimOrWake() == WindowsSingleInstance::Outcome::kFirst) {
    claim.result = Result::Primary;
    claim.instance = std::move(instance);
  } else {
    claim.result = Result::HandedOver;
  }
  return claim;
}

// The mutex lives in the session's object namespace; there is no folder to choose.
SingleInstance::Claim SingleInstance::Acquire(const std::filesystem::path&) { return Acquire(); }

std::filesystem::path SingleInstance::DefaultFolder() { return {}; }

}  // namespace halvex
