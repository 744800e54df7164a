#pragma once
// What an X window shows of a painted badge: the pixels that are not the key colour (its shape, as
// rectangles) and, for a window with an alpha channel, those pixels with the badge's opacity and
// everything else fully transparent.
#include <cstdint>
#include <vector>

#include "core/rect.h"
#include "ui/canvas.h"

namespace halvex {

struct BadgePixels {
  int width = 0;
  int height = 0;
  // 0xAARRGGBB, premultiplied, row after row.
  std::vector<uint32_t> argb;
  // The visible pixels: runs of rows with the same spans merged, top to bottom, left to right.
  std::vector<Rect> shape;
};

// `bgra` is a premultiplied B, G, R, A picture (Cairo's ARGB32 on this machine). A pixel is left
// out when it is transparent or exactly `key`. `alpha` (255: opaque) scales every kept pixel.
BadgePixels MakeBadgePixels(const uint8_t* bgra, int stride, int width, int height, Color key,
                            uint8_t alpha);

}  // namespace halvex
