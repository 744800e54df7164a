#include "capture/win/private_window_exclusion.h"

#include <algorithm>
#include <utility>

namespace halvex {
namespace {

constexpr DWORD kExcludedFromCaptureAttribute = 24;

// WINDOWCOMPOSITIONATTRIBDATA
struct CompositionAttributeData {
  DWORD attribute;
  PVOID data;
  SIZE_T size;
};

using SetWindowCompositionAttributeFn = BOOL(WINAPI*)(HWND, CompositionAttributeData*);

SetWindowCompositionAttributeFn LookUpSetter() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (!user32) return nullptr;
  return reinterpret_cast<SetWindowCompositionAttributeFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetWindowCompositionAttribute")));
}

struct EnumState {
  HWND game;
  RECT gameRect;
  const PrivateWindowExclusion::IsPrivateFn* isPrivate;
  std::vector<HWND> kept;
};

BOOL CALLBACK KeepOverlappingPrivate(HWND window, LPARAM param) {
  auto& state = *reinterpret_cast<EnumState*>(param);
  if (window == state.game || !IsWindowVisible(window)) return TRUE;
  RECT rect{};
  RECT overlap{};
  if (!GetWindowRect(window, &rect) || !IntersectRect(&overlap, &rect, &state.gameRect))
    return TRUE;
  if ((*state.isPrivate)(window)) state.kept.push_back(window);
  return TRUE;
}

bool Contains(const std::vector<HWND>& list, HWND window) {
  return std::find(list.begin(), list.end(), window) != list.end();
}

}  // namespace

bool SetExcludedFromCapture(HWND window, bool excluded) {
  static const SetWindowCompositionAttributeFn setter = LookUpSetter();
  if (!setter) return false;
  DWORD value = excluded ? 1 : 0;
  CompositionAttributeData data{kExcludedFromCaptureAttribute, &value, sizeof(value)};
  return setter(window, &data) != FALSE;
}

PrivateWindowExclusion::PrivateWindowExclusion(IsPrivateFn isPrivate, SetExcludedFn setExcluded)
    : isPrivate_(std::move(isPrivate)),
      setExcluded_(setExcluded ? std::move(setExcluded) : SetExcludedFn(SetExcludedFromCapture)) {}

PrivateWindowExclusion::~PrivateWindowExclusion() { RestorePrivateWindows(); }

void PrivateWindowExclusion::ExcludePrivateWindows(HWND game) {
  EnumState state{game, {}, &isPrivate_, {}};
  // Without the game's rectangle nothing can overlap it: everything listed is let go.
  if (isPrivate_ && game && GetWindowRect(game, &state.gameRect))
    EnumWindows(KeepOverlappingPrivate, reinterpret_cast<LPARAM>(&state));

  for (HWND window : state.kept) {
    if (!Contains(excluded_, window) && setExcluded_(window, true)) excluded_.push_back(window);
  }
  std::vector<HWND> still;
  for (HWND window : excluded_) {
    if (Contains(state.kept, window)) {
      still.push_back(window);
    } else if (IsWindow(window)) {
      setExcluded_(window, false);
    }
  }
  excluded_ = std::move(still);
}

void PrivateWindowExclusion::RestorePrivateWindows() {
  for (HWND window : excluded_) {
    if (IsWindow(window)) setExcluded_(window, false);
  }
  excluded_.clear();
}

}  // namespace halvex
