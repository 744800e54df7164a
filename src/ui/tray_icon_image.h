#pragma once
// The program's icon drawn at any size: a red recording dot on a dark rounded square, the same
// picture the Windows build puts in its .ico. For platforms that take the icon as pixels.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvex {

inline constexpr uint32_t kTrayIconDot = 0xFFE03030;         // 0xAARRGGBB
inline constexpr uint32_t kTrayIconBackground = 0xFF1E222A;

struct ArgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows top to bottom, straight (not premultiplied) alpha

  uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// A square image of `size` pixels (at least 1).
ArgbImage MakeTrayIconImage(int size);

}  // namespace halvex
