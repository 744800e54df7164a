#pragma once
// Paints the overlay badge over the whole canvas (the window's client area).
#include "ui/canvas.h"
#include "ui/overlay_look.h"

namespace halvex {

// GDI's rounded rectangle takes the corner's ellipse size (12): a quarter circle of radius 6.
inline constexpr int kBadgeCornerRadius = 6;

// Where the pieces of a badge go on a client area of `size`.
struct BadgeParts {
  Rect badge;    // the dot or the rounded badge, inset 1 pixel
  Rect text;     // the one line of text (the title in progress mode)
  Rect track;    // progress bar (progress mode only)
  Rect fill;     // its filled part, from the left end
  Rect percent;  // "N%" above the track's right end
};
BadgeParts LayOutBadge(const OverlayLook& look, Size size);

void PaintOverlay(Canvas& canvas, const OverlayLook& look);

}  // namespace halvex
