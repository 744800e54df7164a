#pragma once
// The drawing surface the overlay, the menus and the installer window paint on. One painter per
// platform (GDI/GDI+ on Windows, Cairo/Pango on Linux) and one into memory for tests.
//
// Coordinates are whole pixels from the top-left corner of the surface; a shape given by a Rect
// covers the pixels whose centres lie inside it (left/top inside, right/bottom outside). Shapes are
// drawn without anti-aliasing, so that a colour key around them stays exact; text is smoothed.
// Colours other than fully opaque are blended over what is already there.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/rect.h"

namespace halvex {

struct Color {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 255;
  friend bool operator==(const Color&, const Color&) = default;
};

constexpr Color Rgb(uint8_t r, uint8_t g, uint8_t b) { return Color{r, g, b, 255}; }

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A face by name; when it is not installed the platform's sans face stands in.
struct Font {
  std::string face;
  int weight = 400;      // 100..900: 400 regular, 600 semibold, 700 bold
  int pixelHeight = 15;  // height of the em square in pixels
  friend bool operator==(const Font&, const Font&) = default;
};

// Text is always one line, vertically centred in its box and clipped to it.
enum class TextAlign {
  kCenter,  // horizontally centred
  kLeft,    // from the box's left edge
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual int Width() const = 0;
  virtual int Height() const = 0;

  virtual void FillRect(const Rect& rect, Color color) = 0;
  // Corners are quarter circles of `radius` pixels (limited to half the shorter side).
  virtual void FillRoundedRect(const Rect& rect, int radius, Color color) = 0;
  // The ellipse inscribed in `bounds`.
  virtual void FillEllipse(const Rect& bounds, Color color) = 0;
  // A stroke `width` pixels wide from the centre of pixel `from` to the centre of pixel `to`, with
  // round ends: it covers the pixels whose centres lie within width / 2 of that segment.
  virtual void DrawLine(Point from, Point to, int width, Color color) = 0;
  // UTF-8 text on one line (line breaks are not honoured), on a transparent background.
  virtual void DrawTextLine(std::string_view utf8, const Font& font, const Rect& box,
                            TextAlign align, Color color) = 0;
  // A PNG image (as the resource pack holds it) scaled into `dest`. False, drawing nothing, when
  // the bytes are not a PNG image the painter can decode.
  virtual bool DrawImage(std::span<const uint8_t> png, const Rect& dest) = 0;

  // Drawing is limited to the intersection of every pushed rectangle until it is popped.
  virtual void PushClip(const Rect& rect) = 0;
  virtual void PopClip() = 0;
};

// Pushes a clip rectangle for the lifetime of the object.
class ScopedClip {
 public:
  ScopedClip(Canvas& canvas, const Rect& rect) : canvas_(canvas) { canvas_.PushClip(rect); }
  ~ScopedClip() { canvas_.PopClip(); }
  ScopedClip(const ScopedClip&) = delete;
  ScopedClip& operator=(const ScopedClip&) = delete;

 private:
  Canvas& canvas_;
};

}  // namespace halvex
