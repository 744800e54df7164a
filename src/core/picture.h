#pragma once
// One captured or prepared picture: an opaque, cheap-to-copy reference to an image the platform
// defines (a D3D11 texture on Windows, a BGRA image in memory on Linux). Copies share the image.
// Portable code only passes pictures along; backends reach the image through the accessors in
// core/win/native_picture.h or core/linux/native_picture.h.
#include <memory>
#include <utility>

namespace halvex {

// Defined by each platform.
struct NativePicture;

class Picture {
 public:
  Picture() = default;
  // Empty when `native` is null.
  Picture(std::shared_ptr<const NativePicture> native, int width, int height)
      : native_(std::move(native)), width_(native_ ? width : 0), height_(native_ ? height : 0) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool empty() const { return !native_; }

  // The platform's part; null when empty. Two pictures with the same part are the same image.
  const NativePicture* Native() const { return native_.get(); }

 private:
  std::shared_ptr<const NativePicture> native_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace halvex
