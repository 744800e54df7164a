#include "capture/linux/cpu_picture_pool.h"

#include <cstring>

namespace halvex {

void CpuPicturePool::Reset(int width, int height) {
  pictures_.clear();
  width_ = width;
  height_ = height;
}

CpuPicture CpuPicturePool::Take() {
  for (const CpuPicture& p : pictures_) {
    if (p.pixels.use_count() == 1) return p;
  }
  CpuPicture p = CpuPicture::Allocate(width_, height_);
  if (!p.empty() && pictures_.size() < kMaxPooled) pictures_.push_back(p);
  return p;
}

void FillOpaqueBlack(CpuPicture& picture) {
  if (picture.empty()) return;
  static constexpr uint8_t kBlack[4] = {0, 0, 0, 255};
  for (int y = 0; y < picture.height; ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.width; ++x) std::memcpy(row + 4 * x, kBlack, 4);
  }
}

}  // namespace halvex
