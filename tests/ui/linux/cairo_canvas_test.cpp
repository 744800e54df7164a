#include "ui/linux/cairo_canvas.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
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

TEST(CairoCanvasTest, PaintsTheSavedBadgeWithItsColoursAndCentredText) {
  CairoCanvas canvas(210, 42);
  const OverlayLook look{BadgeMode::kSaved, "Clip Guardado", 0};
  PaintOverlay(canvas, look);

  EXPECT_EQ(canvas.Pixel(0, 0), kKey);
  EXPECT_EQ(canvas.Pixel(1, 1), kKey);
  EXPECT_EQ(canvas.Pixel(209, 21), kKey);
  EXPECT_EQ(canvas.Pixel(105, 1), kBadge);
  EXPECT_EQ(canvas.Pixel(1, 21), kBadge);
  EXPECT_EQ(canvas.Pixel(12, 21), kBadge);  // inside the text box, left of the text

  // Text pixels: everything on the badge that is not badge colour. They must lie in the text box,
  // be bright (the text colour, smoothed over the badge), and sit centred in it.
  const Rect box = LayOutBadge(look, Size{210, 42}).text;
  int count = 0, left = 210, right = -1, top = 42, bottom = -1, bright = 0;
  for (int y = 1; y < 41; ++y) {
    for (int x = 1; x < 209; ++x) {
      const Color c = canvas.Pixel(x, y);
      if (c == kBadge || c == kKey) continue;
      ++count;
      EXPECT_TRUE(box.Contains(x, y)) << x << "," << y;
      if (Near(c, Rgb(245, 250, 255), 20)) ++bright;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  EXPECT_GT(count, 150);
  EXPECT_GT(bright, 40);
  EXPECT_LE(std::abs((left - box.left) - (box.right - 1 - right)), 3);
  EXPECT_LE(std::abs((top - box.top) - (box.bottom - 1 - bottom)), 4);
  EXPECT_LE(bottom - top + 1, 16);  // a 15-pixel face, one line
}

TEST(CairoCanvasTest, ShapesMatchTheMemoryPainterPixelForPixel) {
  const std::vector<OverlayLook> looks = {{BadgeMode::kDot, "", 0},
                                          {BadgeMode::kOn, "", 0},
                                          {BadgeMode::kMessage, "", 0},
                                          {BadgeMode::kProgress, "", 42}};
  for (const OverlayLook& look : looks) {
    SCOPED_TRACE(static_cast<int>(look.mode));
    const Size size = overlay::BadgeSize(look.mode);
    CairoCanvas cairo(size.width, size.height);
    MemoryCanvas memory(size.width, size.height);
    PaintOverlay(cairo, look);
    PaintOverlay(memory, look);
    const Rect percent = LayOutBadge(look, size).percent;
    int differing = 0;
    for (int y = 0; y < size.height; ++y) {
      for (int x = 0; x < size.width; ++x) {
        if (percent.Contains(x, y)) continue;  // "42%" is real text here
        if (cairo.Pixel(x, y) != memory.Pixel(x, y)) ++differing;
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

// A 2 x 2 PNG: red, green / blue, white.
std::vector<uint8_t> SamplePng() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
  cairo_surface_flush(s);
  auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
  const int stride = cairo_image_surface_get_stride(s) / 4;
  data[0] = 0xffff0000;
  data[1] = 0xff00ff00;
  data[stride] = 0xff0000ff;
  data[stride + 1] = 0xffffffff;
  cairo_surface_mark_dirty(s);
  std::vector<uint8_t> bytes;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* d, unsigned int n) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), d, d + n);
        return CAIRO_STATUS_SUCCESS;
      },
      &bytes);
  cairo_surface_destroy(s);
  return bytes;
}

TEST(CairoCanvasTest, DrawsPngImagesScaledIntoTheirRectangleWithinTheClip) {
  const std::vector<uint8_t> png = SamplePng();
  ASSERT_GT(png.size(), 8u);
  CairoCanvas canvas(40, 40);
  canvas.FillRect(Rect{0, 0, 40, 40}, Rgb(0, 0, 0));
  canvas.PushClip(Rect{0, 0, 40, 30});
  EXPECT_TRUE(canvas.DrawImage(png, Rect{10, 10, 30, 30}));
  canvas.PopClip();
  EXPECT_TRUE(Near(canvas.Pixel(12, 12), Rgb(255, 0, 0), 8));
  EXPECT_TRUE(Near(canvas.Pixel(27, 12), Rgb(0, 255, 0), 8));
  EXPECT_TRUE(Near(canvas.Pixel(12, 27), Rgb(0, 0, 255), 8));
  EXPECT_TRUE(Near(canvas.Pixel(27, 27), Rgb(255, 255, 255), 8));
  EXPECT_EQ(canvas.Pixel(9, 9), Rgb(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(30, 20), Rgb(0, 0, 0));
  EXPECT_EQ(canvas.Pixel(12, 30), Rgb(0, 0, 0));  // clipped

  std::vector<uint8_t> damaged(png.begin(), png.begin() + png.size() / 2);
  EXPECT_FALSE(canvas.DrawImage(damaged, Rect{0, 0, 40, 40}));
  EXPECT_FALSE(canvas.DrawImage(std::vector<uint8_t>{1, 2, 3}, Rect{0, 0, 40, 40}));
  EXPECT_EQ(canvas.Pixel(2, 2), Rgb(0, 0, 0));
}

TEST(CairoCanvasTest, TranslucentColoursBlendAndBoxedTextStaysInItsBox) {
  CairoCanvas canvas(120, 20);
  canvas.FillRect(Rect{0, 0, 120, 20}, Rgb(0, 0, 200));
  canvas.FillRect(Rect{0, 0, 10, 10}, Color{255, 0, 0, 128});
  EXPECT_TRUE(Near(canvas.Pixel(5, 5), Rgb(128, 0, 100), 1));

  // A long line, left-aligned and cut at the box's right edge.
  const Rect box{20, 0, 60, 20};
  canvas.DrawTextLine("Clips On - Ctrl+Shift+F12 Save", Font{"Segoe UI", 600, 15}, box,
                      TextAlign::kLeft, Rgb(255, 255, 255));
  int inside = 0;
  for (int y = 0; y < 20; ++y) {
    for (int x = 10; x < 120; ++x) {
      if (canvas.Pixel(x, y) == Rgb(0, 0, 200)) continue;
      EXPECT_TRUE(box.Contains(x, y)) << x << "," << y;
      ++inside;
    }
  }
  EXPECT_GT(inside, 60);
  bool nearLeft = false;  // left-aligned: ink within the first pixels of the box
  for (int y = 0; y < 20; ++y) nearLeft |= canvas.Pixel(21, y) != Rgb(0, 0, 200);
  EXPECT_TRUE(nearLeft);
}

}  // namespace
}  // namespace halvex
