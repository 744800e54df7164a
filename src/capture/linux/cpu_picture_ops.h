#pragma once
// Crop, privacy and output-size pictures in memory, scaled with libswscale (bicubic, BGRA to
// BGRA). Canvases and output pictures come from pools, so a picture still latched by the loop or
// queued for the encoder is never drawn over.
#include <array>
#include <cstdint>
#include <vector>

#include "capture/capture_sources.h"
#include "capture/linux/cpu_picture_pool.h"
#include "core/ffmpeg_handles.h"

namespace halvex {

class CpuPictureOps final : public IPictureOps {
 public:
  bool CreateCaptureResources(int width, int height) override;
  bool CreateOutputResources(int width, int height) override;
  Picture CropToCanvas(const Picture& capture, const Rect& area) override;
  Picture StretchToCapture(const Picture& frame) override;
  Picture ScaleToOutput(const Picture& picture) override;
  Picture BlackPicture() const override;

  bool HasOutputResources() const { return !outputBlack_.empty(); }

 private:
  // Draws the `area` of `source` stretched onto the whole of `target`; the libswscale result
  // (negative on failure).
  int Stretch(const CpuPicture& source, const Rect& area, CpuPicture& target);
  // Scaling packed BGRA directly takes libswscale's slow generic path; scaling into planar RGB
  // and packing it again afterwards is several times faster and converts no colours.
  struct Scaler {
    int srcWidth = 0, srcHeight = 0, dstWidth = 0, dstHeight = 0;
    ff::SwsPtr toPlanar;  // BGRA → GBRP, scaled (bicubic)
    ff::SwsPtr toPacked;  // GBRP → BGRA, same size
    std::vector<uint8_t> planes;
    uint64_t lastUse = 0;
  };
  Scaler* FindScaler(int srcWidth, int srcHeight, int dstWidth, int dstHeight);

  // Crop areas change size only when the game window is resized; a few sizes suffice.
  std::array<Scaler, 4> scalers_;
  uint64_t useCounter_ = 0;

  int captureWidth_ = 0;
  int captureHeight_ = 0;
  Picture privacyBlack_;
  CpuPicturePool canvases_;
  Picture outputBlack_;
  CpuPicturePool outputs_;
};

}  // namespace halvex
