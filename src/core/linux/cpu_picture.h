#pragma once
// A BGRA picture in memory: cheap to copy, the pixels are shared by every copy.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace halvex {

struct CpuPicture {
  std::shared_ptr<uint8_t[]> pixels;  // B, G, R, A bytes per pixel
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next, at least 4 × width

  bool empty() const { return !pixels || width <= 0 || height <= 0; }
  uint8_t* Row(int y) const { return pixels.get() + static_cast<ptrdiff_t>(y) * stride; }
  size_t ByteSize() const { return static_cast<size_t>(stride) * static_cast<size_t>(height); }

  // A new zero-filled picture with rows aligned to 64 bytes; empty when the size is not positive.
  static CpuPicture Allocate(int width, int height) {
    CpuPicture p;
    if (width <= 0 || height <= 0) return p;
    p.width = width;
    p.height = height;
    p.stride = (width * 4 + 63) & ~63;
    p.pixels = std::shared_ptr<uint8_t[]>(new uint8_t[p.ByteSize()]());
    return p;
  }
};

}  // namespace halvex
