#pragma once
// A rectangle in whole pixels: left and top inside, right and bottom just outside.
namespace halvex {

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool Empty() const { return left >= right || top >= bottom; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// The common part of two rectangles; empty (possibly with right < left) when they do not meet.
inline Rect Intersection(const Rect& a, const Rect& b) {
  return Rect{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
              a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
}

}  // namespace halvex
