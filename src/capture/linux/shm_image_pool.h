#pragma once
// Pictures the X server writes straight into (MIT-SHM segments), recycled only when nobody else
// holds them: a picture handed to the loop or the encoder is never overwritten while referenced.
#include <X11/Xlib.h>

#include <memory>
#include <vector>

#include "core/linux/cpu_picture.h"

namespace halvex::x11 {

class ShmImagePool {
 public:
  // More than this many pictures alive at once means someone keeps them; we refuse to grow.
  static constexpr size_t kMaxSegments = 8;

  explicit ShmImagePool(Display* display) : display_(display) {}
  ~ShmImagePool() { Release(); }
  ShmImagePool(const ShmImagePool&) = delete;
  ShmImagePool& operator=(const ShmImagePool&) = delete;

  // Reads width×height at x, y of `drawable` (of `depth` with `visual`) into a picture nobody
  // else holds. False with `LastError()` set; `out` is left untouched then. Falls back to
  // XGetImage when no segment can be made.
  bool Grab(Drawable drawable, int x, int y, int width, int height, Visual* visual, int depth,
            CpuPicture& out);
  // Detaches every segment from the server. Pictures still held elsewhere stay readable.
  void Release();
  int LastError() const { return error_; }
  size_t SegmentCount() const { return segments_.size(); }

 private:
  struct Segment;
  std::shared_ptr<Segment> FreeSegment(int width, int height, int depth, Visual* visual);
  bool GrabWithoutShm(Drawable drawable, int x, int y, int width, int height, CpuPicture& out);

  Display* display_;
  std::vector<std::shared_ptr<Segment>> segments_;
  int error_ = 0;
};

// 32-bit pixels with blue in the lowest byte: the layout CpuPicture stores.
bool IsBgra(const XImage& image);

}  // namespace halvex::x11
