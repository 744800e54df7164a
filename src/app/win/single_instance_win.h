#pragma once
// One running instance per session on Windows: the named mutex says whether one runs, and a
// second start wakes the first through its tray window (WM_APP + 0x411) and exits.
#include <atomic>

#include "app/single_instance.h"

namespace halvex {

inline constexpr wchar_t kSingleInstanceMutexName[] = L"Local\\Halvex_SingleInstance_7E6A1D2B";
inline constexpr wchar_t kTrayWindowClass[] = L"HalvexTrayWindow";
inline constexpr unsigned kWakeMessage = 0x8000 + 0x411;  // WM_APP + 0x411

class WindowsSingleInstance final : public SingleInstance {
 public:
  enum class Outcome {
    kFirst,       // this process runs; the mutex stays held until destruction
    kHandedOver,  // the running instance's tray window was woken; exit with 0
    kNotFound,    // another instance holds the mutex but showed no tray window in time; exit 0
  };

  WindowsSingleInstance() = default;
  ~WindowsSingleInstance() override;
  WindowsSingleInstance(const WindowsSingleInstance&) = delete;
  WindowsSingleInstance& operator=(const WindowsSingleInstance&) = delete;

  // Start-up step 1. Call once.
  Outcome ClaimOrWake();
  bool HoldsMutex() const { return mutex_ != nullptr; }

  // True when this process's tray window was woken since the last call.
  bool PollWake() override;

 private:
  void* mutex_ = nullptr;
};

// Called by the tray window when the wake message arrives.
void NoteWakeRequest();

}  // namespace halvex
