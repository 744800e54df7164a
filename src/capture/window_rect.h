#pragma once
// Where a windowed game sits on the captured monitor, whether its picture must be cut out of the
// monitor picture, and the output size the pictures are scaled to. Portable rules.
#include <optional>

#include "capture/capture_sources.h"
#include "input/window_system.h"

namespace halvex {

// The game's picture area in capture coordinates (0…W, 0…H): none when the window is minimised,
// gone, or does not overlap the output. The area is the client rectangle, or the window
// rectangle of a visible child that takes up most of the client area (games that render into a
// child window).
std::optional<Rect> WindowRectOnOutput(IWindowSystem& windows, WindowId window,
                                       const OutputInfo& output);

// True when `area` does not cover a W×H output within 2 pixels, so it is cut out and stretched.
bool NeedsCrop(const Rect& area, int width, int height);

struct OutputSize {
  int width = 0;
  int height = 0;
  friend bool operator==(const OutputSize&, const OutputSize&) = default;
};

// A configured size larger than the capture in either dimension means the native size (0, 0).
OutputSize ClampConfiguredOutputSize(int configuredWidth, int configuredHeight, int captureWidth,
                                     int captureHeight);

// The size pictures are scaled to: the configured size with each dimension below 1 replaced by
// the capture size, and the capture size when the configured one is larger than the capture.
OutputSize EffectiveOutputSize(int configuredWidth, int configuredHeight, int captureWidth,
                               int captureHeight);

}  // namespace halvex
