#include <gtest/gtest.h>

#include "capture/win/d2d_picture_ops.h"
#include "core/log.h"
#include "d3d_test_env.h"

namespace halvex {
namespace {

using Microsoft::WRL::ComPtr;
using test::Bgra;
using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kRed;

constexpr int kW = 1920;
constexpr int kH = 1080;
// A 1280×720 window at (320, 180): left half red, right half green; the desktop around it blue.
constexpr Rect kWindow{320, 180, 1600, 900};

std::vector<Bgra> Desktop() {
  std::vector<Bgra> pixels(static_cast<size_t>(kW) * kH, kBlue);
  for (int y = kWindow.top; y < kWindow.bottom; ++y)
    for (int x = kWindow.left; x < kWindow.right; ++x)
      pixels[static_cast<size_t>(y) * kW + x] = x < 960 ? kRed : kGreen;
  return pixels;
}

class D2dPictureOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    D3dDevices& d = test::Devices();
    ASSERT_TRUE(d.device);
    ops_ = std::make_unique<D2dPictureOps>(d.device.Get(), d.context.Get(), d.d2dContext.Get());
    log::Capture quiet;
    ASSERT_TRUE(ops_->CreateCaptureResources(kW, kH)) << quiet.Lines().front();
  }

  // Pixel (x, y) of a picture read back.
  static Bgra At(const std::vector<Bgra>& pixels, int width, int x, int y) {
    return pixels[static_cast<size_t>(y) * width + x];
  }

  std::unique_ptr<D2dPictureOps> ops_;
};

TEST_F(D2dPictureOpsTest, NewTexturesAreOpaqueBlack) {
  for (const Picture& p :
       {ops_->PrivacyPicture(), ops_->CapturePicture(), ops_->CanvasPicture()}) {
    ASSERT_FALSE(p.empty());
    int w = 0, h = 0;
    const auto pixels = test::ReadBack(TextureOf(p), w, h);
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    EXPECT_TRUE(test::Near(At(pixels, w, 0, 0), kBlack, 0));
    EXPECT_TRUE(test::Near(At(pixels, w, kW - 1, kH - 1), kBlack, 0));
  }
  D3D11_TEXTURE2D_DESC desc{};
  TextureOf(ops_->CapturePicture())->GetDesc(&desc);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
  EXPECT_EQ(desc.BindFlags,
            static_cast<UINT>(D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE));
  EXPECT_FALSE(ops_->CreateBlackTexture(0, 10, 0));
}

TEST_F(D2dPictureOpsTest, WindowIsCroppedOutOfTheMonitorAndScaledToTheOutput) {
  const Picture capture = ops_->CapturePicture();
  test::Upload(TextureOf(capture), kW, kH, Desktop());

  const Picture cropped = ops_->CropToCanvas(capture, kWindow);
  ASSERT_EQ(TextureOf(cropped), TextureOf(ops_->CanvasPicture()));
  int w = 0, h = 0;
  auto pixels = test::ReadBack(TextureOf(cropped), w, h);
  ASSERT_EQ(w, kW);
  ASSERT_EQ(h, kH);
  // The window fills the whole canvas: its halves, and no desktop blue at the borders.
  EXPECT_TRUE(test::Near(At(pixels, w, 8, 8), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 8, kH - 9), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 900, 540), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 1020, 540), kGreen));
  EXPECT_TRUE(test::Near(At(pixels, w, kW - 9, 8), kGreen));
  EXPECT_TRUE(test::Near(At(pixels, w, kW - 9, kH - 9), kGreen));

  ASSERT_TRUE(ops_->CreateOutputResources(1280, 720));
  EXPECT_TRUE(ops_->HasOutputResources());
  const Picture scaled = ops_->ScaleToOutput(cropped);
  ASSERT_FALSE(scaled.empty());
  EXPECT_NE(TextureOf(scaled), TextureOf(cropped));
  EXPECT_EQ(scaled.Width(), 1280);
  pixels = test::ReadBack(TextureOf(scaled), w, h);
  ASSERT_EQ(w, 1280);
  ASSERT_EQ(h, 720);
  EXPECT_TRUE(test::Near(At(pixels, w, 8, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 600, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 680, 360), kGreen));
  EXPECT_TRUE(test::Near(At(pixels, w, 1271, 711), kGreen));

  // The uncropped monitor scales whole: the desktop border stays in the picture.
  pixels = test::ReadBack(TextureOf(ops_->ScaleToOutput(capture)), w, h);
  ASSERT_EQ(w, 1280);
  EXPECT_TRUE(test::Near(At(pixels, w, 40, 40), kBlue));
  EXPECT_TRUE(test::Near(At(pixels, w, 400, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 900, 360), kGreen));

  // Privacy picture and what the worker copies from are the output-size ones.
  const Picture black = ops_->BlackPicture();
  EXPECT_NE(TextureOf(black), TextureOf(ops_->PrivacyPicture()));
  pixels = test::ReadBack(TextureOf(black), w, h);
  EXPECT_EQ(w, 1280);
  EXPECT_TRUE(test::Near(At(pixels, w, 640, 360), kBlack, 0));
  // The worker copies them on the capture context.
  EXPECT_EQ(ContextOf(scaled), test::Devices().context.Get());
  EXPECT_EQ(ContextOf(black), test::Devices().context.Get());
}

TEST_F(D2dPictureOpsTest, AreaOutsideTheMonitorLeavesThePictureAsItIs) {
  const Picture capture = ops_->CapturePicture();
  EXPECT_EQ(TextureOf(ops_->CropToCanvas(capture, Rect{2000, 0, 2400, 300})),
            TextureOf(capture));
  EXPECT_EQ(TextureOf(ops_->CropToCanvas(Picture{}, kWindow)), nullptr);
}

TEST_F(D2dPictureOpsTest, OutputAtCaptureSizeNeedsNoOutputTextures) {
  ASSERT_TRUE(ops_->CreateOutputResources(1280, 720));
  ASSERT_TRUE(ops_->CreateOutputResources(kW, kH));
  EXPECT_FALSE(ops_->HasOutputResources());
  EXPECT_EQ(TextureOf(ops_->BlackPicture()), TextureOf(ops_->PrivacyPicture()));
  const Picture capture = ops_->CapturePicture();
  EXPECT_EQ(TextureOf(ops_->ScaleToOutput(capture)), TextureOf(capture));
  // Zero means the capture size.
  ASSERT_TRUE(ops_->CreateOutputResources(0, 0));
  EXPECT_FALSE(ops_->HasOutputResources());
}

TEST_F(D2dPictureOpsTest, WindowFrameOfAnotherSizeIsStretchedToTheCaptureSize) {
  ComPtr<ID3D11Texture2D> frame = ops_->CreateBlackTexture(640, 360, D3D11_BIND_SHADER_RESOURCE);
  ASSERT_TRUE(frame);
  std::vector<Bgra> pixels(640 * 360, kGreen);
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 640; ++x) pixels[static_cast<size_t>(y) * 640 + x] = kRed;
  test::Upload(frame.Get(), 640, 360, pixels);
  const Picture picture = WrapTexture(frame, test::Devices().context, 640, 360);

  const Picture stretched = ops_->StretchToCapture(picture);
  ASSERT_EQ(TextureOf(stretched), TextureOf(ops_->CanvasPicture()));
  int w = 0, h = 0;
  auto out = test::ReadBack(TextureOf(stretched), w, h);
  ASSERT_EQ(w, kW);
  EXPECT_TRUE(test::Near(At(out, w, 960, 100), kRed));
  EXPECT_TRUE(test::Near(At(out, w, 960, 980), kGreen));

  // The same frame texture with new contents (the next window-capture frame) draws the new ones.
  test::Upload(frame.Get(), 640, 360, std::vector<Bgra>(640 * 360, kBlue));
  out = test::ReadBack(TextureOf(ops_->StretchToCapture(picture)), w, h);
  ASSERT_EQ(w, kW);
  EXPECT_TRUE(test::Near(At(out, w, 960, 100), kBlue));

  // A frame already at the capture size is used as it is.
  EXPECT_EQ(TextureOf(ops_->StretchToCapture(ops_->CapturePicture())),
            TextureOf(ops_->CapturePicture()));
}

}  // namespace
}  // namespace halvex
