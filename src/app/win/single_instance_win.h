#pragma once
// One running instance per session on Windows: the named mutex says whether one runs, and a
// second start wakes the first through its tray window (WM_APP + 0x411) and exits.
#include <atomic>

#include "app/single_instance.h"

namespace halvex {

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\Halvex_SingleInstance_7E6A1D2B";
inline constexpr wchar_t kTrayWindowClass[] = L"HalvexTrayWindow";
inline constexpr unsigned kWakeMessage = 0x8000 + 0x411;  // WM_APP + 0x411

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

// Called by the tray window when the wake message arrives.
void NoteWakeRequest();

}  // namespace halvex
