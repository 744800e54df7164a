#pragma once
// An area made of rectangles that do not overlap, for cutting windows out of one another.
#include <vector>

#include "core/rect.h"

namespace halvex {

// Removes `cut` from every rectangle of `area`; what is left stays without overlaps.
inline void Subtract(std::vector<Rect>& area, const Rect& cut) {
  std::vector<Rect> out;
  out.reserve(area.size() + 4);
  for (const Rect& r : area) {
    const Rect c = Intersection(r, cut);
    if (c.Empty()) {
      out.push_back(r);
      continue;
    }
    // Above and below the cut across the whole width, then left and right of it.
    if (r.top < c.top) out.push_back(Rect{r.left, r.top, r.right, c.top});
    if (c.bottom < r.bottom) out.push_back(Rect{r.left, c.bottom, r.right, r.bottom});
    if (r.left < c.left) out.push_back(Rect{r.left, c.top, c.left, c.bottom});
    if (c.right < r.right) out.push_back(Rect{c.right, c.top, r.right, c.bottom});
  }
  area.swap(out);
}

// True when some rectangle of `area` meets `r`.
inline bool Meets(const std::vector<Rect>& area, const Rect& r) {
  for (const Rect& a : area) {
    if (!Intersection(a, r).Empty()) return true;
  }
  return false;
}

}  // namespace halvex
