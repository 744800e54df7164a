#pragma once
// A painter into a BGRA image in memory, for tests on every platform. Shapes are rasterised here,
// exactly as the Canvas contract says (a pixel is covered when its centre is inside the shape), so
// a test can check the colour of any pixel. Text and images are not rasterised: text leaves the
// pixels as they were, and every text and image draw is recorded with its box and the clip in
// force, so a test asserts what was written where instead of comparing glyphs.
#include <cstdint>
#include <string>
#include <vector>

#include "ui/canvas.h"

namespace halvex {

class MemoryCanvas final : public Canvas {
 public:
  struct TextDraw {
    std::string text;
    Font font;
    Rect box;
    TextAlign align = TextAlign::kCenter;
    Color color;
    Rect clip;  // the whole surface when nothing was pushed
  };
  struct ImageDraw {
    size_t byteCount = 0;
    Rect dest;
    Rect clip;
  };

  // Every pixel starts as `background`.
  MemoryCanvas(int width, int height, Color background = Color{0, 0, 0, 0});

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void FillRect(const Rect& rect, Color color) override;
  void FillRoundedRect(const Rect& rect, int radius, Color color) override;
  void FillEllipse(const Rect& bounds, Color color) override;
  void DrawLine(Point from, Point to, int width, Color color) override;
  void DrawTextLine(std::string_view utf8, const Font& font, const Rect& box, TextAlign align,
                    Color color) override;
  // Accepts any bytes that begin with the PNG signature and an IHDR chunk; nothing is decoded.
  bool DrawImage(std::span<const uint8_t> png, const Rect& dest) override;
  void PushClip(const Rect& rect) override;
  void PopClip() override;

  // The colour at a pixel, premultiplied by its alpha (as stored); transparent black outside.
  Color Pixel(int x, int y) const;
  // Rows top to bottom, 4 bytes per pixel in the order B, G, R, A.
  const std::vector<uint8_t>& Bgra() const { return pixels_; }
  const std::vector<TextDraw>& Texts() const { return texts_; }
  const std::vector<ImageDraw>& Images() const { return images_; }

 private:
  Rect Clip() const;
  // Paints every pixel of `area` (clipped) whose centre `inside` accepts.
  template <typename Inside>
  void Cover(const Rect& area, Color color, Inside inside);
  void Blend(int x, int y, Color color);

  int width_;
  int height_;
  std::vector<uint8_t> pixels_;
  std::vector<Rect> clips_;
  std::vector<TextDraw> texts_;
  std::vector<ImageDraw> images_;
};

}  // namespace halvex
