#include "capture/linux/shm_image_pool.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

#include "capture/linux/x_display.h"

namespace halvex::x11 {

// The server side (XShmAttach, the XImage) is undone by Release while the connection lives; the
// memory itself stays mapped until the last picture over it is gone.
struct ShmImagePool::Segment {
  XShmSegmentInfo info{};
  XImage* image = nullptr;
  int width = 0;
  int height = 0;
  int depth = 0;
  Visual* visual = nullptr;

  ~Segment() {
    if (info.shmaddr && info.shmaddr != reinterpret_cast<char*>(-1)) shmdt(info.shmaddr);
  }
};

bool IsBgra(const XImage& image) {
  return image.bits_per_pixel == 32 && image.byte_order == LSBFirst &&
         image.red_mask == 0xff0000 && image.green_mask == 0xff00 && image.blue_mask == 0xff;
}

namespace {

void Detach(Display* display, XImage*& image, XShmSegmentInfo& info) {
  if (!image) return;
  XShmDetach(display, &info);
  image->data = nullptr;  // the segment's memory is not XDestroyImage's to free
  XDestroyImage(image);
  image = nullptr;
}

}  // namespace

std::shared_ptr<ShmImagePool::Segment> ShmImagePool::FreeSegment(int width, int height, int depth,
                                                                 Visual* visual) {
  for (const auto& s : segments_) {
    if (s.use_count() == 1 && s->image && s->width == width && s->height == height &&
        s->depth == depth && s->visual == visual) {
      return s;
    }
  }
  // Segments of another size that nobody holds are of no further use.
  std::erase_if(segments_, [&](const std::shared_ptr<Segment>& s) {
    const bool stale = s.use_count() == 1 && (s->width != width || s->height != height ||
                                              s->depth != depth || s->visual != visual);
    if (stale) Detach(display_, s->image, s->info);
    return stale;
  });
  if (segments_.size() >= kMaxSegments) {
    error_ = kErrorSharedMemory;
    return nullptr;
  }

  auto s = std::make_shared<Segment>();
  s->width = width;
  s->height = height;
  s->depth = depth;
  s->visual = visual;
  s->image = XShmCreateImage(display_, visual, static_cast<unsigned>(depth), ZPixmap, nullptr,
                             &s->info, static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!s->image) {
    error_ = kErrorSharedMemory;
    return nullptr;
  }
  if (!IsBgra(*s->image)) {
    XDestroyImage(s->image);
    s->image = nullptr;
    error_ = kErrorPixelFormat;
    return nullptr;
  }
  const size_t bytes = static_cast<size_t>(s->image->bytes_per_line) * static_cast<size_t>(height);
  s->info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (s->info.shmid >= 0) s->info.shmaddr = static_cast<char*>(shmat(s->info.shmid, nullptr, 0));
  if (s->info.shmid < 0 || s->info.shmaddr == reinterpret_cast<char*>(-1)) {
    if (s->info.shmid >= 0) shmctl(s->info.shmid, IPC_RMID, nullptr);
    s->info.shmaddr = nullptr;
    XDestroyImage(s->image);
    s->image = nullptr;
    error_ = kErrorSharedMemory;
    return nullptr;
  }
  s->image->data = s->info.shmaddr;
  s->info.readOnly = False;
  ErrorTrap trap(display_);
  const bool attached = XShmAttach(display_, &s->info) && !trap.Sync();
  // Marked for removal now: the segment disappears with its last user, even after a crash.
  shmctl(s->info.shmid, IPC_RMID, nullptr);
  if (!attached) {
    s->image->data = nullptr;
    XDestroyImage(s->image);
    s->image = nullptr;
    error_ = kErrorSharedMemory;
    return nullptr;
  }
  segments_.push_back(s);
  return s;
}

bool ShmImagePool::Grab(Drawable drawable, int x, int y, int width, int height, Visual* visual,
                        int depth, CpuPicture& out) {
  if (width <= 0 || height <= 0) {
    error_ = BadValue;
    return false;
  }
  std::shared_ptr<Segment> s = FreeSegment(width, height, depth, visual);
  if (!s) {
    if (error_ == kErrorPixelFormat) return false;
    return GrabWithoutShm(drawable, x, y, width, height, out);
  }
  ErrorTrap trap(display_);
  if (!XShmGetImage(display_, drawable, s->image, x, y, AllPlanes) || trap.Failed()) {
    error_ = trap.Failed() ? trap.ErrorCode() : BadMatch;
    return false;
  }
  CpuPicture p;
  p.pixels = std::shared_ptr<uint8_t[]>(s, reinterpret_cast<uint8_t*>(s->info.shmaddr));
  p.width = width;
  p.height = height;
  p.stride = s->image->bytes_per_line;
  out = std::move(p);
  return true;
}

bool ShmImagePool::GrabWithoutShm(Drawable drawable, int x, int y, int width, int height,
                                  CpuPicture& out) {
  ErrorTrap trap(display_);
  XImage* image = XGetImage(display_, drawable, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) {
    error_ = trap.Failed() ? trap.ErrorCode() : BadMatch;
    return false;
  }
  const bool ok = IsBgra(*image);
  if (ok) {
    CpuPicture p = CpuPicture::Allocate(width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    for (int row = 0; row < height; ++row) {
      std::memcpy(p.Row(row), image->data + static_cast<ptrdiff_t>(row) * image->bytes_per_line,
                  rowBytes);
    }
    out = std::move(p);
  } else {
    error_ = kErrorPixelFormat;
  }
  XDestroyImage(image);
  return ok;
}

void ShmImagePool::Release() {
  for (const auto& s : segments_) Detach(display_, s->image, s->info);
  segments_.clear();
}

}  // namespace halvex::x11
