#pragma once
// The overlay badge over the recorded game: "on" (then a dot), "Clip Guardado", a message, or a
// progress bar. Lives on the main thread; the main loop calls Track on every pass while a game is
// recorded. Times come from the program clock (core/clock.h).
#include <cstdint>
#include <optional>
#include <string>

#include "input/window_system.h"
#include "ui/overlay_look.h"
#include "ui/overlay_window.h"

namespace halvex {

inline constexpr int64_t kOverlayCollapseNs = 3'500'000'000;  // a notification's life
inline constexpr int kOverlayHideTimerMs = 3500;
inline constexpr int64_t kOverlayOnBurstNs = 1'200'000'000;
inline constexpr int64_t kOverlayMessageBurstNs = 1'600'000'000;
// While a notification is new, games that move or re-stack their window are followed this often.
inline constexpr int64_t kOverlayBurstIntervalNs = 75'000'000;

class Overlay {
 public:
  // Both are used for the life of the overlay.
  Overlay(IOverlayWindow& window, IWindowSystem& windows);
  Overlay(const Overlay&) = delete;
  Overlay& operator=(const Overlay&) = delete;

  // The compact save shortcut shown in the "on" badge.
  void SetLabel(std::string label);

  void ShowOn(WindowId target);
  void ShowSaved(WindowId target);
  void ShowMessage(WindowId target, std::string text);
  // Stays until another show replaces it or it is hidden; `percent` is clamped to 0..100.
  void ShowProgress(WindowId target, std::string title, int percent);
  // Only in progress mode; repaints only when the clamped value changes.
  void SetProgress(WindowId target, int percent);
  // Every pass of the main loop while `target` is recorded: expiry, minimised game, position,
  // top-most and, while a notification is new, a repaint.
  void Track(WindowId target);
  void Hide();

  // What the badge shows now.
  OverlayLook Look() const;

 private:
  enum class Kind { kOn, kSaved, kMessage, kProgress };
  void Show(WindowId target, Kind kind);
  void SetTarget(WindowId target);
  void ApplyExpiry();
  void OnHideTimer();
  void HideAndClear();
  void Reposition();
  void Repaint();

  IOverlayWindow& window_;
  IWindowSystem& windows_;

  WindowId target_ = 0;
  WindowId rootOwner_ = 0;
  WindowId content_ = 0;
  bool expanded_ = false;
  bool saved_ = false;
  bool message_ = false;
  bool progress_ = false;
  int percent_ = 0;
  std::string text_;
  std::string label_;
  int64_t collapseDeadline_ = 0;
  int64_t burstDeadline_ = 0;
  std::optional<int64_t> lastBurst_;
};

}  // namespace halvex
