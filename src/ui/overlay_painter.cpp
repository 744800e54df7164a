#include "ui/overlay_painter.h"

#include <algorithm>
#include <string>

namespace halvex {

namespace {

constexpr int kSideMargin = 11;
constexpr int kTitleTop = 2, kTitleBottom = 26;
constexpr int kTrackSide = 15, kTrackTopFromBottom = 25, kTrackBottomFromBottom = 12;
constexpr int kPercentWidth = 45, kPercentHeight = 18;

Font BadgeFont(int pixelHeight) {
  return Font{std::string(overlay::kFace), overlay::kWeight, pixelHeight};
}

}  // namespace

BadgeParts LayOutBadge(const OverlayLook& look, Size size) {
  BadgeParts parts;
  const Rect client{0, 0, size.width, size.height};
  parts.badge = Rect{client.left + 1, client.top + 1, client.right - 1, client.bottom - 1};
  if (look.mode == BadgeMode::kProgress) {
    parts.text = Rect{client.left, client.top + kTitleTop, client.right, client.top + kTitleBottom};
    parts.track = Rect{client.left + kTrackSide, client.bottom - kTrackTopFromBottom,
                       client.right - kTrackSide, client.bottom - kTrackBottomFromBottom};
    const int percent = std::clamp(look.percent, 0, 100);
    const int fillWidth = (percent * parts.track.Width() + 50) / 100;  // to the nearest pixel
    parts.fill =
        Rect{parts.track.left, parts.track.top, parts.track.left + fillWidth, parts.track.bottom};
    parts.percent = Rect{parts.track.right - kPercentWidth, parts.track.top - kPercentHeight,
                         parts.track.right, parts.track.top};
  } else if (look.mode != BadgeMode::kDot) {
    parts.text =
        Rect{client.left + kSideMargin, client.top, client.right - kSideMargin, client.bottom};
  }
  return parts;
}

void PaintOverlay(Canvas& canvas, const OverlayLook& look) {
  const Size size{canvas.Width(), canvas.Height()};
  const BadgeParts parts = LayOutBadge(look, size);
  canvas.FillRect(Rect{0, 0, size.width, size.height}, overlay::kKeyColor);
  const Color badge = overlay::BadgeColor(look.mode);
  if (look.mode == BadgeMode::kDot) {
    canvas.FillEllipse(parts.badge, badge);
    return;
  }
  canvas.FillRoundedRect(parts.badge, kBadgeCornerRadius, badge);
  const Font text = BadgeFont(overlay::kTextHeight);
  canvas.DrawTextLine(look.text, text, parts.text, TextAlign::kCenter, overlay::kText);
  if (look.mode != BadgeMode::kProgress) return;
  canvas.FillRect(parts.track, overlay::kTrack);
  canvas.FillRect(parts.fill, overlay::kFill);
  const std::string percent = std::to_string(std::clamp(look.percent, 0, 100)) + "%";
  canvas.DrawTextLine(percent, BadgeFont(overlay::kPercentHeight), parts.percent,
                      TextAlign::kCenter, overlay::kText);
}

}  // namespace halvex
