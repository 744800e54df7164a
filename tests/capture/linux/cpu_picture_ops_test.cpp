// Crop, privacy and output-size pictures with the real libswscale.
#include "capture/linux/cpu_picture_ops.h"

#include <gtest/gtest.h>

#include "capture/linux/x_test_windows.h"
#include "core/linux/native_picture.h"
#include "core/log.h"

namespace halvex {
namespace {

using testing::Near;
using testing::PixelAt;
using testing::Rgb;

void FillRect(const CpuPicture& p, const Rect& r, Rgb colour) {
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      uint8_t* px = p.Row(y) + 4 * x;
      px[0] = colour & 0xff;
      px[1] = (colour >> 8) & 0xff;
      px[2] = (colour >> 16) & 0xff;
      px[3] = 255;
    }
  }
}

Picture Solid(int w, int h, Rgb colour) {
  Picture p = WrapImage(CpuPicture::Allocate(w, h));
  FillRect(ImageOf(p), Rect{0, 0, w, h}, colour);
  return p;
}

bool AllOpaqueBlack(const Picture& p) {
  for (int y = 0; y < p.Height(); ++y) {
    for (int x = 0; x < p.Width(); ++x) {
      const uint8_t* px = ImageOf(p).Row(y) + 4 * x;
      if (px[0] || px[1] || px[2] || px[3] != 255) return false;
    }
  }
  return true;
}

// Four colour quadrants, the way a test pattern makes colour shifts and offsets visible.
Picture Quadrants(int w, int h) {
  Picture p = WrapImage(CpuPicture::Allocate(w, h));
  FillRect(ImageOf(p), Rect{0, 0, w / 2, h / 2}, 0xff0000);
  FillRect(ImageOf(p), Rect{w / 2, 0, w, h / 2}, 0x00ff00);
  FillRect(ImageOf(p), Rect{0, h / 2, w / 2, h}, 0x0000ff);
  FillRect(ImageOf(p), Rect{w / 2, h / 2, w, h}, 0xffffff);
  return p;
}

TEST(CpuPictureOpsTest, BlackPicturesAtCaptureAndOutputSize) {
  CpuPictureOps ops;
  ASSERT_TRUE(ops.CreateCaptureResources(1920, 1080));
  ASSERT_TRUE(ops.CreateOutputResources(1920, 1080));
  EXPECT_FALSE(ops.HasOutputResources());
  Picture black = ops.BlackPicture();
  EXPECT_EQ(black.Width(), 1920);
  EXPECT_EQ(black.Height(), 1080);
  EXPECT_TRUE(AllOpaqueBlack(black));

  ASSERT_TRUE(ops.CreateOutputResources(1280, 720));
  EXPECT_TRUE(ops.HasOutputResources());
  black = ops.BlackPicture();
  EXPECT_EQ(black.Width(), 1280);
  EXPECT_EQ(black.Height(), 720);
  EXPECT_TRUE(AllOpaqueBlack(black));
  EXPECT_EQ(ImageOf(ops.BlackPicture()).pixels, ImageOf(black).pixels);  // made once, then shared

  EXPECT_FALSE(ops.CreateOutputResources(0, 720));
}

TEST(CpuPictureOpsTest, ScalingToTheOutputKeepsColoursAndPlaces) {
  CpuPictureOps ops;
  ASSERT_TRUE(ops.CreateCaptureResources(1920, 1080));
  ASSERT_TRUE(ops.CreateOutputResources(1280, 720));
  const Picture pattern = Quadrants(1920, 1080);
  const Picture out = ops.ScaleToOutput(pattern);
  ASSERT_EQ(out.Width(), 1280);
  ASSERT_EQ(out.Height(), 720);
  ASSERT_EQ(ImageOf(out).width, 1280);
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 320, 180), 0xff0000, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 960, 180), 0x00ff00, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 320, 540), 0x0000ff, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 960, 540), 0xffffff, 2));
  // The boundaries stay where they were, only a few pixels of filter blur around them.
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 636, 100), 0xff0000, 8));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 643, 100), 0x00ff00, 8));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 0, 0), 0xff0000, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 1279, 719), 0xffffff, 2));
  EXPECT_EQ(ImageOf(out).Row(100)[4 * 100 + 3], 255);  // opaque

  // A picture already at the output size is passed through untouched.
  const Picture small = Solid(1280, 720, 0x123456);
  EXPECT_EQ(ImageOf(ops.ScaleToOutput(small)).pixels, ImageOf(small).pixels);
  // Without output resources nothing is scaled.
  ASSERT_TRUE(ops.CreateOutputResources(1920, 1080));
  EXPECT_EQ(ImageOf(ops.ScaleToOutput(pattern)).pixels, ImageOf(pattern).pixels);
}

TEST(CpuPictureOpsTest, CropStretchesTheGameAreaOverTheWholeCanvas) {
  CpuPictureOps ops;
  ASSERT_TRUE(ops.CreateCaptureResources(1920, 1080));
  Picture desktop = Solid(1920, 1080, 0xff0000);
  const Rect game{320, 180, 1600, 900};  // 1280×720
  FillRect(ImageOf(desktop), game, 0x00ff00);
  FillRect(ImageOf(desktop), Rect{320, 180, 330, 190}, 0x0000ff);  // marks the game's top-left

  const Picture canvas = ops.CropToCanvas(desktop, game);
  ASSERT_EQ(canvas.Width(), 1920);
  ASSERT_EQ(canvas.Height(), 1080);
  EXPECT_NE(ImageOf(canvas).pixels, ImageOf(desktop).pixels);
  // No desktop red anywhere at the edges: the crop reads only inside the area.
  for (const auto& [x, y] : {std::pair{0, 1079}, {1919, 0}, {1919, 1079}, {960, 0}, {0, 540},
                             {960, 1079}, {1919, 540}, {960, 540}}) {
    EXPECT_TRUE(Near(PixelAt(ImageOf(canvas), x, y), 0x00ff00, 2)) << x << "," << y;
  }
  // The 10×10 marker becomes 15×15 at the top-left.
  EXPECT_TRUE(Near(PixelAt(ImageOf(canvas), 5, 5), 0x0000ff, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(canvas), 20, 20), 0x00ff00, 8));

  // The canvas stays intact while held: the next crop goes elsewhere.
  FillRect(ImageOf(desktop), game, 0xffffff);
  const Picture second = ops.CropToCanvas(desktop, game);
  EXPECT_NE(ImageOf(second).pixels, ImageOf(canvas).pixels);
  EXPECT_TRUE(Near(PixelAt(ImageOf(canvas), 960, 540), 0x00ff00, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(second), 960, 540), 0xffffff, 2));

  // An area outside the picture leaves the capture as it is.
  EXPECT_EQ(ImageOf(ops.CropToCanvas(desktop, Rect{1920, 0, 2000, 100})).pixels,
            ImageOf(desktop).pixels);
}

TEST(CpuPictureOpsTest, WindowFramesOfAnotherSizeAreStretchedToTheCaptureSize) {
  CpuPictureOps ops;
  ASSERT_TRUE(ops.CreateCaptureResources(1920, 1080));
  const Picture same = Solid(1920, 1080, 0x00ff00);
  EXPECT_EQ(ImageOf(ops.StretchToCapture(same)).pixels, ImageOf(same).pixels);

  const Picture frame = Quadrants(800, 600);
  const Picture stretched = ops.StretchToCapture(frame);
  ASSERT_EQ(stretched.Width(), 1920);
  ASSERT_EQ(stretched.Height(), 1080);
  EXPECT_TRUE(Near(PixelAt(ImageOf(stretched), 480, 270), 0xff0000, 2));
  EXPECT_TRUE(Near(PixelAt(ImageOf(stretched), 1440, 810), 0xffffff, 2));

  // Then to the output size, as the loop does.
  ASSERT_TRUE(ops.CreateOutputResources(1280, 720));
  const Picture out = ops.ScaleToOutput(stretched);
  ASSERT_EQ(out.Width(), 1280);
  EXPECT_TRUE(Near(PixelAt(ImageOf(out), 960, 180), 0x00ff00, 2));
  // The black output picture is not touched by scaling.
  EXPECT_TRUE(AllOpaqueBlack(ops.BlackPicture()));
}

}  // namespace
}  // namespace halvex
