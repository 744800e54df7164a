#include "ui/tray_icon_image.h"

#include <algorithm>
#include <cmath>

namespace halvex {

ArgbImage MakeTrayIconImage(int size) {
  size = std::max(size, 1);
  ArgbImage image{size, size, std::vector<uint32_t>(size_t(size) * size_t(size), 0)};
  // Proportions of the 32-pixel original: corner radius 4, dot radius 9.
  const double centre = (size - 1) / 2.0;
  const double corner = size * 4.0 / 32.0;
  const double dot = size * 9.0 / 32.0;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const double dx = std::max(std::abs(x - centre) - (centre - corner), 0.0);
      const double dy = std::max(std::abs(y - centre) - (centre - corner), 0.0);
      if (dx * dx + dy * dy > corner * corner) continue;  // outside the rounded square
      const double d = std::hypot(x - centre, y - centre);
      image.pixels[size_t(y) * size_t(size) + size_t(x)] =
          d <= dot ? kTrayIconDot : kTrayIconBackground;
    }
  }
  return image;
}

}  // namespace halvex
