#include "ui/win/gdi_canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ui/memory_canvas.h"
#include "ui/overlay_painter.h"

namespace halvex {
namespace {

const Color kKey = Rgb(1, 2, 3);
const Color kBadge = Rgb(25, 125, 235);

bool Near(Color a, Color b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

// A 2 x 2 RGB PNG: red, green / blue, white.
const std::vector<uint8_t> kPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
    0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8,
    0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0x0b,
    0xd9, 0x68, 0x8b, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

TEST(GdiCanvasTest, PaintsTheSavedBadgeWithItsColoursAndCentredText) {
  GdiCanvas canvas(210, 42);
  ASSERT_TRUE(canvas.Valid());
  const OverlayLook look{BadgeMode::kSaved, "Clip Guardado", 0};
  PaintOverlay(canvas, look);

  EXPECT_EQ(canvas.Pixel(0, 0), kKey);
  EXPECT_EQ(canvas.Pixel(1, 1), kKey);
  EXPECT_EQ(canvas.Pixel(209, 21), kKey);
  EXPECT_EQ(canvas.Pixel(105, 1), kBadge);
  EXPECT_EQ(canvas.Pixel(1, 21), kBadge);
  EXPECT_EQ(canvas.Pixel(12, 21), kBadge);

  const Rect box = LayOutBadge(look, Size{210, 42}).text;
  int count = 0, left = 210, right = -1, top = 42, bottom = -1;
  for (int y = 1; y < 41; ++y) {
    for (int x = 1; x < 209; ++x) {
      const Color c = canvas.Pixel(x, y);
      if (c == kBadge || c == kKey) continue;
      ++count;
      EXPECT_TRUE(box.Contains(x, y)) << x << "," << y;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  EXPECT_GT(count, 100);
  EXPECT_LE(std::abs((left - box.left) - (box.right - 1 - right)), 3);
  EXPECT_LE(std::abs((top - box.top) - (box.bottom - 1 - bottom)), 4);
}

TEST(GdiCanvasTest, ShapesMatchTheMemoryPainterUpToTheirRims) {
  const std::vector<OverlayLook> looks = {{BadgeMode::kDot, "", 0},
                                          {BadgeMode::kOn, "", 0},
                                          {BadgeMode::kMessage, "", 0},
                                          {BadgeMode::kProgress, "", 42}};
  for (const OverlayLook& look : looks) {
    SCOPED_TRACE(static_cast<int>(look.mode));
    const Size size = overlay::BadgeSize(look.mode);
    GdiCanvas gdi(size.width, size.height);
    MemoryCanvas memory(size.width, size.height);
    PaintOverlay(gdi, look);
    PaintOverlay(memory, look);
    const Rect percent = LayOutBadge(look, size).percent;
    int differing = 0;
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        if (percent.Contains(x, y)) continue;  // "42%" is real text here
        const Color m = memory.Pixel(x, y);
        if (gdi.Pixel(x, y) == m) continue;
        // GDI rounds curves its own way: a pixel on a shape's rim may go either way.
        const bool rim = memory.Pixel(x - 1, y) != m || memory.Pixel(x + 1, y) != m ||
                         memory.Pixel(x, y - 1) != m || memory.Pixel(x, y + 1) != m;
        EXPECT_TRUE(rim) << x << "," << y;
        ++differing;
      }
    }
    EXPECT_LE(differing, 16);
  }
}

TEST(GdiCanvasTest, DrawsPngImagesThroughGdiPlusWithinTheClip) {
  GdiCanvas canvas(40, 40);
  canvas.FillRect(Rect{0, 0, 40, 40}, Rgb(0, 0, 0));
  canvas.PushClip(Rect{0, 0, 40, 30});
  EXPECT_TRUE(canvas.DrawImage(kPng, Rect{10, 10, 30, 30}));
  canvas.PopClip();
  // Scaling blends between the pixels differently from one GDI+ to another; the corners are pure.
  EXPECT_TRUE(Near(canvas.Pixel(10, 10), Rgb(255, 0, 0), 8));
  EXPECT_TRUE(Near(canvas.Pixel(29, 10), Rgb(0, 255, 0), 8));
  EXPECT_TRUE(Near(canvas.Pixel(10, 29), Rgb(0, 0, 255), 8));
  EXPECT_TRUE(Near(canvas.Pixel(29, 29), Rgb(255, 255, 255), 8));
  for (int y = 10; y < 30; ++y) {
    for (int x = 10; x < 30; ++x) EXPECT_NE(canvas.Pixel(x, y), Rgb(0, 0, 0)) << x << "," << y;
  }
  EXPECT_EQ(canvas.Pixel(9, 9), Rgb(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(30, 20), Rgb(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(12, 30), Rgb(0, 0, 0));  // clipped

  const std::vector<uint8_t> damaged(kPng.begin(), kPng.begin() + 30);
  EXPECT_FALSE(canvas.DrawImage(damaged, Rect{0, 0, 40, 40}));
  EXPECT_FALSE(canvas.DrawImage(std::vector<uint8_t>{1, 2, 3}, Rect{0, 0, 40, 40}));
  EXPECT_EQ(canvas.Pixel(2, 2), Rgb(0, 0, 0));
}

TEST(GdiCanvasTest, TranslucentColoursBlendAndTheClipHolds) {
  GdiCanvas canvas(20, 10);
  canvas.FillRect(Rect{0, 0, 20, 10}, Rgb(0, 0, 200));
  canvas.PushClip(Rect{0, 0, 10, 10});
  canvas.FillRect(Rect{0, 0, 20, 5}, Color{255, 0, 0, 128});
  canvas.FillEllipse(Rect{0, 5, 20, 10}, Rgb(0, 255, 0));
  canvas.PopClip();
  EXPECT_TRUE(Near(canvas.Pixel(5, 2), Rgb(128, 0, 100), 1));
  EXPECT_EQ(canvas.Pixel(15, 2), Rgb(0, 0, 200));
  EXPECT_EQ(canvas.Pixel(9, 7), Rgb(0, 255, 0));
  EXPECT_EQ(canvas.Pixel(12, 7), Rgb(0, 0, 200));
}

TEST(GdiCanvasTest, WritesThePictureAsPng) {
  GdiCanvas canvas(16, 16);
  PaintOverlay(canvas, OverlayLook{});
  const auto path = std::filesystem::temp_directory_path() / "halvex_gdi_canvas_test.png";
  ASSERT_TRUE(canvas.WritePng(path));
  std::ifstream file(path, std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
  file.close();
  std::filesystem::remove(path);
  ASSERT_GT(bytes.size(), 8u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
            (std::vector<uint8_t>{0x89, 'P', 'N', 'G'}));
  // Decoded again, it is the dot.
  GdiCanvas back(16, 16);
  ASSERT_TRUE(back.DrawImage(bytes, Rect{0, 0, 16, 16}));
  EXPECT_TRUE(Near(back.Pixel(8, 8), kBadge, 2));
  EXPECT_TRUE(Near(back.Pixel(0, 0), kKey, 2));
}

}  // namespace
}  // namespace halvex
