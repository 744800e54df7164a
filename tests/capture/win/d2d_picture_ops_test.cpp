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
    const auto pixels = test::ReadBack(p.texture.Get(), w, h);
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    EXPECT_TRUE(test::Near(At(pixels, w, 0, 0), kBlack, 0));
    EXPECT_TRUE(test::Near(At(pixels, w, kW - 1, kH - 1), kBlack, 0));
  }
  D3D11_TEXTURE2D_DESC desc{};
  ops_->CapturePicture().texture->GetDesc(&desc);
  EXPECT_EQ(desc.Format, DXGI_FORMAT_B8G8R8A8_UNORM);
  EXPECT_EQ(desc.BindFlags,
            static_cast<UINT>(D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE));
  EXPECT_FALSE(ops_->CreateBlackTexture(0, 10, 0));
}

TEST_F(D2dPictureOpsTest, WindowIsCroppedOutOfTheMonitorAndScaledToTheOutput) {
  const Picture capture = ops_->CapturePicture();
  test::Upload(capture.texture.Get(), kW, kH, Desktop());

  const Picture cropped = ops_->CropToCanvas(capture, kWindow);
  ASSERT_EQ(cropped.texture.Get(), ops_->CanvasPicture().texture.Get());
  int w = 0, h = 0;
  auto pixels = test::ReadBack(cropped.texture.Get(), w, h);
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
  EXPECT_NE(scaled.texture.Get(), cropped.texture.Get());
  EXPECT_EQ(scaled.width, 1280);
  pixels = test::ReadBack(scaled.texture.Get(), w, h);
  ASSERT_EQ(w, 1280);
  ASSERT_EQ(h, 720);
  EXPECT_TRUE(test::Near(At(pixels, w, 8, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 600, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 680, 360), kGreen));
  EXPECT_TRUE(test::Near(At(pixels, w, 1271, 711), kGreen));

  // The uncropped monitor scales whole: the desktop border stays in the picture.
  pixels = test::ReadBack(ops_->ScaleToOutput(capture).texture.Get(), w, h);
  ASSERT_EQ(w, 1280);
  EXPECT_TRUE(test::Near(At(pixels, w, 40, 40), kBlue));
  EXPECT_TRUE(test::Near(At(pixels, w, 400, 360), kRed));
  EXPECT_TRUE(test::Near(At(pixels, w, 900, 360), kGreen));

  // Privacy picture and what the worker copies from are the output-size ones.
  const Picture black = ops_->BlackPicture();
  EXPECT_NE(black.texture.Get(), ops_->PrivacyPicture().texture.Get());
  pixels = test::ReadBack(black.texture.Get(), w, h);
  EXPECT_EQ(w, 1280);
  EXPECT_TRUE(test::Near(At(pixels, w, 640, 360), kBlack, 0));
  const FrameSource source = ops_->ToFrameSource(scaled);
  EXPECT_EQ(source.texture, scaled.texture.Get());
  EXPECT_EQ(source.context, test::Devices().context.Get());
}

TEST_F(D2dPictureOpsTest, AreaOutsideTheMonitorLeavesThePictureAsItIs) {
  const Picture capture = ops_->CapturePicture();
  EXPECT_EQ(ops_->CropToCanvas(capture, Rect{2000, 0, 2400, 300}).texture.Get(),
            capture.texture.Get());
  EXPECT_EQ(ops_->CropToCanvas(Picture{}, kWindow).texture.Get(), nullptr);
}

TEST_F(D2dPictureOpsTest, OutputAtCaptureSizeNeedsNoOutputTextures) {
  ASSERT_TRUE(ops_->CreateOutputResources(1280, 720));
  ASSERT_TRUE(ops_->CreateOutputResources(kW, kH));
  EXPECT_FALSE(ops_->HasOutputResources());
  EXPECT_EQ(ops_->BlackPicture().texture.Get(), ops_->PrivacyPicture().texture.Get());
  const Picture capture = ops_->CapturePicture();
  EXPECT_EQ(ops_->ScaleToOutput(capture).texture.Get(), capture.texture.Get());
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
  Picture picture{frame, 640, 360};

  const Picture stretched = ops_->StretchToCapture(picture);
  ASSERT_EQ(stretched.texture.Get(), ops_->CanvasPicture().texture.Get());
  int w = 0, h = 0;
  auto out = test::ReadBack(stretched.texture.Get(), w, h);
  ASSERT_EQ(w, kW);
  EXPECT_TRUE(test::Near(At(out, w, 960, 100), kRed));
  EXPECT_TRUE(test::Near(At(out, w, 960, 980), kGreen));

  // The same frame texture with new contents (the next window-capture frame) draws the new ones.
  test::Upload(frame.Get(), 640, 360, std::vector<Bgra>(640 * 360, kBlue));
  out = test::ReadBack(ops_->StretchToCapture(picture).texture.Get(), w, h);
  ASSERT_EQ(w, kW);
  EXPECT_TRUE(test::Near(At(out, w, 960, 100), kBlue));

  // A frame already at the capture size is used as it is.
  EXPECT_EQ(ops_->StretchToCapture(ops_->CapturePicture()).texture.Get(),
            ops_->CapturePicture().texture.Get());
}

}  // namespace
}  // namespace halvex
