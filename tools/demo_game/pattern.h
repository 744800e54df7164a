#pragma once
// The picture of one frame. Its layout is fixed by the window size alone, so a reader of a clip can
// find the frame number again (tests/e2e/pattern.py computes the same layout):
//   block  = max(24, width / 26)       side of one code block
//   codeX  = (width - 16 * block) / 2  left edge of the code row
//   codeY  = height * 64 / 100         top edge of the code row
// The code row holds the frame number's 16 bits, most significant first, white = 1, black = 0.
// Every 60th frame (frame % 60 == 0) the whole picture is white.
#include <X11/Xlib.h>

#include <cstdint>

namespace halvex::demo {

inline constexpr int kCodeBits = 16;
inline constexpr int kFramesPerSecond = 60;

struct PatternLayout {
  int width = 0;
  int height = 0;
  int block = 0;
  int codeX = 0;
  int codeY = 0;
};

PatternLayout LayoutFor(int width, int height);

class PatternPainter {
 public:
  PatternPainter(Display* display, Visual* visual, Drawable target);
  ~PatternPainter();
  PatternPainter(const PatternPainter&) = delete;
  PatternPainter& operator=(const PatternPainter&) = delete;

  void Paint(Drawable target, const PatternLayout& layout, uint64_t frame);

 private:
  unsigned long Pixel(uint8_t r, uint8_t g, uint8_t b) const;
  void Fill(Drawable target, unsigned long pixel, int x, int y, int w, int h);
  void PaintDigits(Drawable target, uint64_t value, int x, int y, int digitHeight);

  Display* display_;
  Visual* visual_;
  GC gc_;
};

}  // namespace halvex::demo
