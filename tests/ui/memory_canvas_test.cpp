#include "ui/memory_canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace halvex {
namespace {

const Color kBack = Rgb(0, 0, 0);
const Color kInk = Rgb(200, 100, 50);

// Rows of '#' (ink) and '.' (background) for the whole canvas.
std::vector<std::string> Rows(const MemoryCanvas& canvas) {
  std::vector<std::string> rows;
  for (int y = 0; y < canvas.Height(); ++y) {
    std::string row;
    for (int x = 0; x < canvas.Width(); ++x) row += canvas.Pixel(x, y) == kInk ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(MemoryCanvasTest, ShapesCoverThePixelsWhoseCentresTheyContain) {
  struct Case {
    const char* name;
    void (*draw)(Canvas&);
    std::vector<std::string> rows;
  };
  const std::vector<Case> cases = {
      {"rectangle, right and bottom outside",
       [](Canvas& c) {
         c.FillRect(Rect{1, 1, 4, 3}, kInk);
       },
       {"......", ".###..", ".###..", "......", "......", "......"}},
      {"ellipse inscribed",
       [](Canvas& c) {
         c.FillEllipse(Rect{0, 1, 6, 5}, kInk);
       },
       {"......", ".####.", "######", "######", ".####.", "......"}},
      {"rounded rectangle, corner radius 2",
       [](Canvas& c) {
         c.FillRoundedRect(Rect{0, 0, 6, 5}, 2, kInk);
       },
       {".####.", "######", "######", "######", ".####.", "......"}},
      {"rounded rectangle, radius limited to half the shorter side",
       [](Canvas& c) {
         c.FillRoundedRect(Rect{0, 0, 6, 2}, 50, kInk);
       },
       {"######", "######", "......", "......", "......", "......"}},
      {"line of width 1",
       [](Canvas& c) {
         c.DrawLine(Point{1, 4}, Point{4, 4}, 1, kInk);
       },
       {"......", "......", "......", "......", ".####.", "......"}},
      {"diagonal line of width 1",
       [](Canvas& c) {
         c.DrawLine(Point{0, 0}, Point{5, 5}, 1, kInk);
       },
       {"#.....", ".#....", "..#...", "...#..", "....#.", ".....#"}},
      {"line of width 3 with round ends",
       [](Canvas& c) {
         c.DrawLine(Point{2, 2}, Point{3, 2}, 3, kInk);
       },
       {"......", ".####.", ".####.", ".####.", "......", "......"}},
      {"clipped by the intersection of pushed rectangles",
       [](Canvas& c) {
         c.PushClip(Rect{1, 0, 6, 4});
         c.PushClip(Rect{0, 2, 4, 6});
         c.FillRect(Rect{0, 0, 6, 6}, kInk);
         c.PopClip();
         c.FillRect(Rect{5, 5, 6, 6}, kInk);  // outside the outer clip: dropped
         c.PopClip();
         c.FillRect(Rect{0, 5, 1, 6}, kInk);
       },
       {"......", "......", ".###..", ".###..", "......", "#....."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryCanvas canvas(6, 6, kBack);
    c.draw(canvas);
    EXPECT_EQ(Rows(canvas), c.rows);
  }
}

TEST(MemoryCanvasTest, TranslucentColoursBlendOverThePicture) {
  MemoryCanvas canvas(2, 1, Rgb(0, 0, 200));
  canvas.FillRect(Rect{0, 0, 1, 1}, Color{255, 0, 0, 128});
  canvas.FillRect(Rect{1, 0, 2, 1}, Color{255, 0, 0, 0});
  EXPECT_EQ(canvas.Pixel(0, 0), (Color{128, 0, 100, 255}));
  EXPECT_EQ(canvas.Pixel(1, 0), Rgb(0, 0, 200));
  EXPECT_EQ(canvas.Bgra()[0], 100);  // B, G, R, A order
  EXPECT_EQ(canvas.Bgra()[2], 128);
}

TEST(MemoryCanvasTest, RecordsTextAndImagesWithTheClipInForce) {
  MemoryCanvas canvas(100, 50, kBack);
  const Font font{"Segoe UI", 600, 15};
  canvas.PushClip(Rect{10, 0, 60, 50});
  canvas.DrawTextLine("Clip Guardado", font, Rect{0, 0, 100, 20}, TextAlign::kLeft, kInk);
  canvas.PopClip();
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n',
                                    0,    0,   0,   13,  'I',  'H',  'D',  'R'};
  EXPECT_TRUE(canvas.DrawImage(png, Rect{0, 20, 16, 36}));
  std::vector<uint8_t> notPng = png;
  notPng[1] = 'J';
  EXPECT_FALSE(canvas.DrawImage(notPng, Rect{0, 20, 16, 36}));
  EXPECT_FALSE(canvas.DrawImage(std::span<const uint8_t>(png.data(), 8), Rect{0, 20, 16, 36}));

  ASSERT_EQ(canvas.Texts().size(), 1u);
  const auto& text = canvas.Texts()[0];
  EXPECT_EQ(text.text, "Clip Guardado");
  EXPECT_EQ(text.font, font);
  EXPECT_EQ(text.box, (Rect{0, 0, 100, 20}));
  EXPECT_EQ(text.align, TextAlign::kLeft);
  EXPECT_EQ(text.color, kInk);
  EXPECT_EQ(text.clip, (Rect{10, 0, 60, 50}));
  ASSERT_EQ(canvas.Images().size(), 1u);
  EXPECT_EQ(canvas.Images()[0].dest, (Rect{0, 20, 16, 36}));
  EXPECT_EQ(canvas.Images()[0].clip, (Rect{0, 0, 100, 50}));
  // Text leaves the pixels alone.
  for (int x = 0; x < 100; ++x) EXPECT_EQ(canvas.Pixel(x, 10), kBack);
}

}  // namespace
}  // namespace halvex
