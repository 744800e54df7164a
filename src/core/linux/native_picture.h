#pragma once
// A picture on Linux is a BGRA image in memory, shared by every copy of the picture.
#include <memory>
#include <utility>

#include "core/linux/cpu_picture.h"
#include "core/picture.h"

namespace halvex {

struct NativePicture {
  CpuPicture image;
};

// The picture of `image` (sharing its pixels); empty when the image is.
inline Picture WrapImage(CpuPicture image) {
  if (image.empty()) return Picture{};
  const int width = image.width;
  const int height = image.height;
  return Picture{std::make_shared<const NativePicture>(NativePicture{std::move(image)}), width,
                 height};
}

// The image of `picture`; an empty image for an empty picture.
inline const CpuPicture& ImageOf(const Picture& picture) {
  static const CpuPicture kNone;
  const NativePicture* native = picture.Native();
  return native ? native->image : kNone;
}

}  // namespace halvex
