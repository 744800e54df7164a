#include "ui/overlay.h"

#include <algorithm>
#include <utility>

#include "core/clock.h"
#include "ui/overlay_layout.h"
#include "ui/overlay_painter.h"

namespace halvex {

Overlay::Overlay(IOverlayWindow& window, IWindowSystem& windows)
    : window_(window), windows_(windows) {}

void Overlay::SetLabel(std::string label) { label_ = std::move(label); }

OverlayLook Overlay::Look() const {
  if (!expanded_) return OverlayLook{};
  if (progress_) return OverlayLook{BadgeMode::kProgress, text_, percent_};
  if (message_) return OverlayLook{BadgeMode::kMessage, text_, 0};
  if (saved_) return OverlayLook{BadgeMode::kSaved, std::string(overlay::kSavedText), 0};
  return OverlayLook{BadgeMode::kOn, overlay::OnText(label_), 0};
}

void Overlay::ShowOn(WindowId target) {
  text_.clear();
  const int64_t now = NowNs();
  collapseDeadline_ = now + kOverlayCollapseNs;
  burstDeadline_ = now + kOverlayOnBurstNs;
  Show(target, Kind::kOn);
}

void Overlay::ShowSaved(WindowId target) {
  const int64_t now = NowNs();
  collapseDeadline_ = now + kOverlayCollapseNs;
  burstDeadline_ = now + kOverlayOnBurstNs;
  Show(target, Kind::kSaved);
  window_.StartHideTimer(kOverlayHideTimerMs, [this] { OnHideTimer(); });
}

void Overlay::ShowMessage(WindowId target, std::string text) {
  text_ = std::move(text);
  const int64_t now = NowNs();
  collapseDeadline_ = now + kOverlayCollapseNs;
  burstDeadline_ = now + kOverlayMessageBurstNs;
  Show(target, Kind::kMessage);
  window_.StartHideTimer(kOverlayHideTimerMs, [this] { OnHideTimer(); });
}

void Overlay::ShowProgress(WindowId target, std::string title, int percent) {
  text_ = std::move(title);
  percent_ = std::clamp(percent, 0, 100);
  Show(target, Kind::kProgress);
}

void Overlay::Show(WindowId target, Kind kind) {
  window_.StopHideTimer();
  SetTarget(target);
  expanded_ = true;
  saved_ = kind == Kind::kSaved;
  message_ = kind == Kind::kMessage;
  progress_ = kind == Kind::kProgress;
  content_ = UwpContentWindow(windows_, target_);
  Reposition();
  window_.ShowNoActivate();
  window_.RaiseTopMost();
  Repaint();
}

void Overlay::SetProgress(WindowId target, int percent) {
  if (!expanded_ || !progress_) return;
  if (target != target_) SetTarget(target);
  percent = std::clamp(percent, 0, 100);
  if (percent == percent_) return;
  percent_ = percent;
  Repaint();
}

void Overlay::Track(WindowId target) {
  if (target != target_) SetTarget(target);
  ApplyExpiry();
  if (windows_.IsMinimized(target_) ||
      (rootOwner_ != target_ && windows_.IsMinimized(rootOwner_))) {
    window_.Hide();
    return;
  }
  content_ = UwpContentWindow(windows_, target_);
  Reposition();
  if (!window_.IsShown()) window_.ShowNoActivate();
  const int64_t now = NowNs();
  if (now < burstDeadline_) {
    if (!lastBurst_ || now - *lastBurst_ >= kOverlayBurstIntervalNs) {
      lastBurst_ = now;
      Reposition();
      window_.RaiseTopMost();
      Repaint();
    }
  } else {
    window_.RaiseTopMost();
  }
}

void Overlay::Hide() {
  window_.StopHideTimer();
  HideAndClear();
}

void Overlay::SetTarget(WindowId target) {
  target_ = target;
  rootOwner_ = RootOwner(windows_, target);
}

void Overlay::ApplyExpiry() {
  if (!expanded_ || progress_ || NowNs() < collapseDeadline_) return;
  if (saved_ || message_) {
    HideAndClear();
    return;
  }
  expanded_ = false;  // "on" shrinks to the dot
  Reposition();
  Repaint();
}

void Overlay::OnHideTimer() {
  window_.StopHideTimer();
  if (saved_ || message_) HideAndClear();
}

void Overlay::HideAndClear() {
  window_.Hide();
  expanded_ = saved_ = message_ = progress_ = false;
  text_.clear();
  // The window keeps its painter for the next time it is shown: that is the dot now.
  Repaint();
}

void Overlay::Reposition() {
  const WindowId reference = content_ != 0 && windows_.IsWindow(content_) ? content_ : target_;
  const auto rect = windows_.WindowRect(reference);
  if (!rect) return;  // the window is gone; the badge stays where it was
  const Size size = overlay::BadgeSize(Look().mode);
  window_.Place(BadgeBounds(*rect, size, windows_.NearestMonitorRect(reference)));
}

void Overlay::Repaint() {
  window_.Repaint([look = Look()](Canvas& canvas) { PaintOverlay(canvas, look); });
}

}  // namespace halvex
