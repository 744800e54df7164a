#pragma once
// Heap pictures of one size, reused only once every other holder (the loop's latch, a queued
// submission) has let go, so a picture handed out is never written again while referenced.
#include <vector>

#include "core/linux/cpu_picture.h"

namespace halvex {

class CpuPicturePool {
 public:
  // Beyond this many pictures alive at once, new ones are handed out without being kept.
  static constexpr size_t kMaxPooled = 4;

  void Reset(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // A picture of the pool's size that nobody else holds; empty when the size is not positive.
  CpuPicture Take();

 private:
  std::vector<CpuPicture> pictures_;
  int width_ = 0;
  int height_ = 0;
};

// Fills `picture` with opaque black (B = G = R = 0, A = 255).
void FillOpaqueBlack(CpuPicture& picture);

}  // namespace halvex
