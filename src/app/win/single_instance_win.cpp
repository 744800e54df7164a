#include "app/win/single_instance_win.h"

#include <windows.h>

#include <utility>

#include "app/instance_claim.h"
#include "app/sleeper.h"
#include "ui/win/win32_tray.h"

namespace halvex {
namespace {

std::atomic<bool> g_wakeRequested{false};

// The named mutex and the tray window of the running instance.
class WindowsInstanceSeam final : public IInstanceSeam {
 public:
  ~WindowsInstanceSeam() override { LetGo(); }

  Lock TakeClaim(std::string&) override {
    mutex_ = CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName);
    const DWORD error = GetLastError();
    // A mutex made in another security context cannot be opened, but it is there all the same.
    const bool existed =
        error == ERROR_ALREADY_EXISTS || (!mutex_ && error == ERROR_ACCESS_DENIED);
    // Any other failure leaves this start without a mutex, but it still runs.
    return existed ? Lock::HeldElsewhere : Lock::Taken;
  }

  Wake TryWake() override {
    HWND tray = FindWindowExW(HWND_MESSAGE, nullptr, kTrayWindowClass, nullptr);
    if (!tray) return Wake::NotFound;
    return PostMessageW(tray, kWakeMessage, 0, 0) ? Wake::Delivered : Wake::Refused;
  }

  std::unique_ptr<SingleInstance> BecomePrimary() override {
    return std::make_unique<WindowsSingleInstance>(std::exchange(mutex_, nullptr));
  }

  void LetGo() override {
    if (mutex_) CloseHandle(mutex_);
    mutex_ = nullptr;
  }

 private:
  HANDLE mutex_ = nullptr;
};

}  // namespace

void NoteWakeRequest() { g_wakeRequested.store(true); }

void WatchWakes(Win32Tray& tray, std::function<void()> onWake) {
  tray.SetWakeObserver([onWake = std::move(onWake)] {
    NoteWakeRequest();
    if (onWake) onWake();
  });
}

WindowsSingleInstance::~WindowsSingleInstance() {
  if (mutex_) {
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
  }
}

bool WindowsSingleInstance::PollWake() { return g_wakeRequested.exchange(false); }

SingleInstance::Claim SingleInstance::Acquire() {
  WindowsInstanceSeam seam;
  ThreadSleeper sleeper;
  return ClaimInstance(seam, sleeper, UnansweredWake::Silent);
}

// The mutex lives in the session's object namespace; there is no folder to choose.
SingleInstance::Claim SingleInstance::Acquire(const std::filesystem::path&) { return Acquire(); }

std::filesystem::path SingleInstance::DefaultFolder() { return {}; }

}  // namespace halvex
