#pragma once
// One running instance per session on Windows: the named mutex says whether one runs, and a
// second start wakes the first through its tray window (WM_APP + 0x411) and exits.
#include <atomic>
#include <functional>

#include "app/single_instance.h"
#include "ui/win/tray_window_names.h"

namespace halvex {

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\Halvex_SingleInstance_7E6A1D2B";
inline constexpr unsigned kWakeMessage = kTrayWakeMessage;  // WM_APP + 0x411

// The primary: holds the mutex (when it could be made) until destruction.
class WindowsSingleInstance final : public SingleInstance {
 public:
  explicit WindowsSingleInstance(void* mutex) : mutex_(mutex) {}
  ~WindowsSingleInstance() override;
  WindowsSingleInstance(const WindowsSingleInstance&) = delete;
  WindowsSingleInstance& operator=(const WindowsSingleInstance&) = delete;

  bool HoldsMutex() const { return mutex_ != nullptr; }

  // True when this process's tray window was woken since the last call.
  bool PollWake() override;

 private:
  void* mutex_ = nullptr;
};

// Called when the tray window takes the wake message (see WatchWakes).
void NoteWakeRequest();

class Win32Tray;
// Makes the tray's window count wakes for PollWake and then run `onWake` (may be empty).
void WatchWakes(Win32Tray& tray, std::function<void()> onWake);

}  // namespace halvex
