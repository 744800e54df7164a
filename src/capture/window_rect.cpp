#include "capture/window_rect.h"

#include <algorithm>
#include <cstdint>

namespace halvex {
namespace {

// A child counts as the game's picture when it shows more than this share of the client area.
constexpr int64_t kChildShareNumerator = 1;
constexpr int64_t kChildShareDenominator = 2;

int64_t Area(const Rect& r) {
  return r.Empty() ? 0 : static_cast<int64_t>(r.Width()) * static_cast<int64_t>(r.Height());
}

Rect Intersect(const Rect& a, const Rect& b) {
  return Rect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
}

// The visible child whose rectangle covers the largest part of the client area, when that part
// is more than half of it. Tool bars, status bars and hidden helpers never win.
std::optional<Rect> RenderChildRect(IWindowSystem& windows, WindowId window, const Rect& client) {
  const int64_t clientArea = Area(client);
  if (clientArea <= 0) return std::nullopt;
  std::optional<Rect> best;
  int64_t bestArea = 0;
  for (WindowId child : windows.ChildWindows(window)) {
    if (!windows.IsVisible(child) || windows.IsMinimized(child)) continue;
    const std::optional<Rect> r = windows.WindowRect(child);
    if (!r || r->Empty()) continue;
    const int64_t covered = Area(Intersect(*r, client));
    if (covered * kChildShareDenominator <= clientArea * kChildShareNumerator) continue;
    if (covered > bestArea) {
      bestArea = covered;
      best = *r;
    }
  }
  return best;
}

}  // namespace

std::optional<Rect> WindowRectOnOutput(IWindowSystem& windows, WindowId window,
                                       const OutputInfo& output) {
  if (window == 0 || windows.IsMinimized(window)) return std::nullopt;
  const std::optional<Rect> client = windows.ClientRectOnScreen(window);
  if (!client) return std::nullopt;
  Rect r = RenderChildRect(windows, window, *client).value_or(*client);

  const int w = output.Width();
  const int h = output.Height();
  r.left = std::clamp(r.left - output.desktop.left, 0, std::max(w, 0));
  r.right = std::clamp(r.right - output.desktop.left, 0, std::max(w, 0));
  r.top = std::clamp(r.top - output.desktop.top, 0, std::max(h, 0));
  r.bottom = std::clamp(r.bottom - output.desktop.top, 0, std::max(h, 0));
  if (r.Empty()) return std::nullopt;
  return r;
}

bool NeedsCrop(const Rect& area, int width, int height) {
  return area.Width() < width - 2 || area.Height() < height - 2 || area.left > 1 || area.top > 1;
}

OutputSize ClampConfiguredOutputSize(int configuredWidth, int configuredHeight, int captureWidth,
                                     int captureHeight) {
  if (configuredWidth > captureWidth || configuredHeight > captureHeight) return {0, 0};
  return {configuredWidth, configuredHeight};
}

OutputSize EffectiveOutputSize(int configuredWidth, int configuredHeight, int captureWidth,
                               int captureHeight) {
  const OutputSize c =
      ClampConfiguredOutputSize(configuredWidth, configuredHeight, captureWidth, captureHeight);
  return {c.width < 1 ? captureWidth : c.width, c.height < 1 ? captureHeight : c.height};
}

}  // namespace halvex
