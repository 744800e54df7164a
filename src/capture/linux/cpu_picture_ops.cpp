#include "capture/linux/cpu_picture_ops.h"

#include <algorithm>
#include <new>

#include "core/linux/native_picture.h"
#include "core/log.h"

namespace halvex {
namespace {

constexpr int kScaleFlags = SWS_BICUBIC;

// Rows of the planar scratch picture aligned for libswscale's vector code.
int PlaneStride(int width) { return (width + 63) & ~63; }

// Opaque black, width × height; std::bad_alloc passes through.
Picture OpaqueBlackPicture(int width, int height) {
  CpuPicture black = CpuPicture::Allocate(width, height);
  FillOpaqueBlack(black);
  return WrapImage(std::move(black));
}

}  // namespace

bool CpuPictureOps::CreateCaptureResources(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  try {
    privacyBlack_ = OpaqueBlackPicture(width, height);
    canvases_.Reset(width, height);
  } catch (const std::bad_alloc&) {
    privacyBlack_ = {};
    return false;
  }
  captureWidth_ = width;
  captureHeight_ = height;
  return true;
}

bool CpuPictureOps::CreateOutputResources(int width, int height) {
  outputBlack_ = {};
  outputs_.Reset(0, 0);
  if (width == captureWidth_ && height == captureHeight_) return true;
  if (width <= 0 || height <= 0) return false;
  try {
    outputBlack_ = OpaqueBlackPicture(width, height);
  } catch (const std::bad_alloc&) {
    outputBlack_ = {};
    return false;
  }
  outputs_.Reset(width, height);
  return true;
}

CpuPictureOps::Scaler* CpuPictureOps::FindScaler(int srcWidth, int srcHeight, int dstWidth,
                                                 int dstHeight) {
  ++useCounter_;
  for (Scaler& c : scalers_) {
    if (c.toPlanar && c.srcWidth == srcWidth && c.srcHeight == srcHeight &&
        c.dstWidth == dstWidth && c.dstHeight == dstHeight) {
      c.lastUse = useCounter_;
      return &c;
    }
  }
  Scaler& slot = *std::min_element(
      scalers_.begin(), scalers_.end(),
      [](const Scaler& a, const Scaler& b) { return a.lastUse < b.lastUse; });
  slot = Scaler{};
  slot.toPlanar.reset(sws_getContext(srcWidth, srcHeight, AV_PIX_FMT_BGRA, dstWidth, dstHeight,
                                     AV_PIX_FMT_GBRP, kScaleFlags, nullptr, nullptr, nullptr));
  slot.toPacked.reset(sws_getContext(dstWidth, dstHeight, AV_PIX_FMT_GBRP, dstWidth, dstHeight,
                                     AV_PIX_FMT_BGRA, kScaleFlags, nullptr, nullptr, nullptr));
  if (!slot.toPlanar || !slot.toPacked) {
    slot = Scaler{};
    return nullptr;
  }
  slot.planes.resize(static_cast<size_t>(PlaneStride(dstWidth)) * dstHeight * 3);
  slot.srcWidth = srcWidth;
  slot.srcHeight = srcHeight;
  slot.dstWidth = dstWidth;
  slot.dstHeight = dstHeight;
  slot.lastUse = useCounter_;
  return &slot;
}

int CpuPictureOps::Stretch(const CpuPicture& source, const Rect& area, CpuPicture& target) {
  if (source.empty() || target.empty()) return AVERROR(EINVAL);
  const Rect r{std::max(area.left, 0), std::max(area.top, 0), std::min(area.right, source.width),
               std::min(area.bottom, source.height)};
  if (r.Empty()) return AVERROR(EINVAL);
  Scaler* s = FindScaler(r.Width(), r.Height(), target.width, target.height);
  if (!s) return AVERROR(ENOMEM);

  // The area is read in place: the slice starts at its top-left pixel, rows keep the full stride.
  const uint8_t* src[4] = {source.Row(r.top) + static_cast<ptrdiff_t>(r.left) * 4, nullptr,
                           nullptr, nullptr};
  const int srcStride[4] = {source.stride, 0, 0, 0};
  const int planeStride = PlaneStride(target.width);
  const size_t planeBytes = static_cast<size_t>(planeStride) * target.height;
  uint8_t* planes[4] = {s->planes.data(), s->planes.data() + planeBytes,
                        s->planes.data() + 2 * planeBytes, nullptr};
  const int planeStrides[4] = {planeStride, planeStride, planeStride, 0};
  int rows = sws_scale(s->toPlanar.get(), src, srcStride, 0, r.Height(), planes, planeStrides);
  if (rows != target.height) return rows < 0 ? rows : AVERROR_EXTERNAL;

  const uint8_t* packedIn[4] = {planes[0], planes[1], planes[2], nullptr};
  uint8_t* dst[4] = {target.pixels.get(), nullptr, nullptr, nullptr};
  const int dstStride[4] = {target.stride, 0, 0, 0};
  rows = sws_scale(s->toPacked.get(), packedIn, planeStrides, 0, target.height, dst, dstStride);
  return rows == target.height ? 0 : (rows < 0 ? rows : AVERROR_EXTERNAL);
}

Picture CpuPictureOps::CropToCanvas(const Picture& capture, const Rect& area) {
  CpuPicture canvas = canvases_.Take();
  if (canvas.empty() || Stretch(ImageOf(capture), area, canvas) < 0) return capture;
  return WrapImage(std::move(canvas));
}

Picture CpuPictureOps::StretchToCapture(const Picture& frame) {
  if (frame.empty() || (frame.Width() == captureWidth_ && frame.Height() == captureHeight_)) {
    return frame;
  }
  CpuPicture canvas = canvases_.Take();
  const CpuPicture& image = ImageOf(frame);
  const Rect whole{0, 0, image.width, image.height};
  if (canvas.empty() || Stretch(image, whole, canvas) < 0) return frame;
  return WrapImage(std::move(canvas));
}

Picture CpuPictureOps::ScaleToOutput(const Picture& picture) {
  if (!HasOutputResources() || picture.empty() ||
      (picture.Width() == outputs_.Width() && picture.Height() == outputs_.Height())) {
    return picture;
  }
  CpuPicture out = outputs_.Take();
  const CpuPicture& image = ImageOf(picture);
  const Rect whole{0, 0, image.width, image.height};
  const int rc = out.empty() ? AVERROR(ENOMEM) : Stretch(image, whole, out);
  if (rc < 0) {
    log::Line("ERROR: libswscale fallo al preparar la resolucion de salida " +
              ff::ErrorCodeText(rc));
    return picture;
  }
  return WrapImage(std::move(out));
}

Picture CpuPictureOps::BlackPicture() const {
  return HasOutputResources() ? outputBlack_ : privacyBlack_;
}

}  // namespace halvex
