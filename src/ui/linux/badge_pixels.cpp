#include "ui/linux/badge_pixels.h"

#include <cstddef>

namespace halvex {
namespace {

uint32_t Scale(uint32_t channel, uint32_t alpha) { return (channel * alpha + 127) / 255; }

}  // namespace

BadgePixels MakeBadgePixels(const uint8_t* bgra, int stride, int width, int height, Color key,
                            uint8_t alpha) {
  BadgePixels out;
  if (width <= 0 || height <= 0) return out;
  out.width = width;
  out.height = height;
  out.argb.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);

  // Spans of the row above that are still open, each with the rectangle it grows.
  std::vector<Rect> open;
  std::vector<Rect> row;
  for (int y = 0; y < height; ++y) {
    const uint8_t* px = bgra + static_cast<ptrdiff_t>(y) * stride;
    uint32_t* dst = out.argb.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    row.clear();
    for (int x = 0; x < width; ++x, px += 4) {
      const uint8_t b = px[0], g = px[1], r = px[2], a = px[3];
      const bool isKey = a == 255 && r == key.r && g == key.g && b == key.b;
      if (a == 0 || isKey) continue;
      dst[x] = (Scale(a, alpha) << 24) | (Scale(r, alpha) << 16) | (Scale(g, alpha) << 8) |
               Scale(b, alpha);
      if (!row.empty() && row.back().right == x) {
        row.back().right = x + 1;
      } else {
        row.push_back(Rect{x, y, x + 1, y + 1});
      }
    }
    // A row with exactly the spans of the one above extends its rectangles downwards.
    bool same = row.size() == open.size();
    for (size_t i = 0; same && i < row.size(); ++i) {
      same = row[i].left == open[i].left && row[i].right == open[i].right;
    }
    if (same) {
      for (Rect& r : open) r.bottom = y + 1;
      continue;
    }
    out.shape.insert(out.shape.end(), open.begin(), open.end());
    open = row;
  }
  out.shape.insert(out.shape.end(), open.begin(), open.end());
  return out;
}

}  // namespace halvex
