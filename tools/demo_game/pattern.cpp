#include "pattern.h"

#include <algorithm>
#include <array>
#include <string>

namespace halvex::demo {

namespace {

int ShiftOf(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) mask >>= 1, ++s;
  return s;
}

int BitsOf(unsigned long mask) {
  int n = 0;
  for (; mask; mask >>= 1) n += static_cast<int>(mask & 1);
  return n;
}

unsigned long Scale(uint8_t v, unsigned long mask) {
  const int bits = BitsOf(mask);
  return (static_cast<unsigned long>(v) >> (8 - std::min(bits, 8))) << ShiftOf(mask);
}

struct Rgb {
  uint8_t r, g, b;
};

// SMPTE-like bars at 75 %.
constexpr std::array<Rgb, 7> kBars = {{{191, 191, 191},
                                       {191, 191, 0},
                                       {0, 191, 191},
                                       {0, 191, 0},
                                       {191, 0, 191},
                                       {191, 0, 0},
                                       {0, 0, 191}}};

// Segments a..g of a seven-segment digit.
constexpr std::array<uint8_t, 10> kSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                               0x6D, 0x7D, 0x07, 0x7F, 0x6F};

}  // namespace

PatternLayout LayoutFor(int width, int height) {
  PatternLayout l;
  l.width = width;
  l.height = height;
  l.block = std::max(24, width / 26);
  l.codeX = (width - kCodeBits * l.block) / 2;
  l.codeY = height * 64 / 100;
  return l;
}

PatternPainter::PatternPainter(Display* display, Visual* visual, Drawable target)
    : display_(display), visual_(visual), gc_(XCreateGC(display, target, 0, nullptr)) {}

PatternPainter::~PatternPainter() { XFreeGC(display_, gc_); }

unsigned long PatternPainter::Pixel(uint8_t r, uint8_t g, uint8_t b) const {
  return Scale(r, visual_->red_mask) | Scale(g, visual_->green_mask) |
         Scale(b, visual_->blue_mask);
}

void PatternPainter::Fill(Drawable target, unsigned long pixel, int x, int y, int w, int h) {
  XSetForeground(display_, gc_, pixel);
  XFillRectangle(display_, target, gc_, x, y, static_cast<unsigned>(std::max(w, 0)),
                 static_cast<unsigned>(std::max(h, 0)));
}

void PatternPainter::PaintDigits(Drawable target, uint64_t value, int x, int y, int digitHeight) {
  const std::string text = std::to_string(value);
  const int w = digitHeight / 2;
  const int t = std::max(3, digitHeight / 10);  // stroke
  const int half = digitHeight / 2;
  const unsigned long on = Pixel(255, 255, 255);
  int cx = x;
  for (char ch : text) {
    const uint8_t seg = kSegments[static_cast<size_t>(ch - '0')];
    if (seg & 0x01) Fill(target, on, cx, y, w, t);                         // a
    if (seg & 0x02) Fill(target, on, cx + w - t, y, t, half);              // b
    if (seg & 0x04) Fill(target, on, cx + w - t, y + half, t, half);       // c
    if (seg & 0x08) Fill(target, on, cx, y + digitHeight - t, w, t);       // d
    if (seg & 0x10) Fill(target, on, cx, y + half, t, half);               // e
    if (seg & 0x20) Fill(target, on, cx, y, t, half);                      // f
    if (seg & 0x40) Fill(target, on, cx, y + half - t / 2, w, t);          // g
    cx += w + t * 2;
  }
}

void PatternPainter::Paint(Drawable target, const PatternLayout& l, uint64_t frame) {
  const unsigned long white = Pixel(255, 255, 255);
  if (frame % kFramesPerSecond == 0) {
    Fill(target, white, 0, 0, l.width, l.height);
    return;
  }
  const int barsBottom = l.height * 60 / 100;
  for (size_t i = 0; i < kBars.size(); ++i) {
    const int x0 = static_cast<int>(i) * l.width / static_cast<int>(kBars.size());
    const int x1 = static_cast<int>(i + 1) * l.width / static_cast<int>(kBars.size());
    Fill(target, Pixel(kBars[i].r, kBars[i].g, kBars[i].b), x0, 0, x1 - x0, barsBottom);
  }
  Fill(target, Pixel(48, 48, 48), 0, barsBottom, l.width, l.height - barsBottom);

  // A black block crossing the bars once every two seconds shows motion at a glance.
  const int side = l.height / 6;
  const uint64_t period = 2 * kFramesPerSecond;
  const int travel = l.width - side;
  const int bx = static_cast<int>(static_cast<uint64_t>(travel) * (frame % period) / period);
  Fill(target, Pixel(16, 16, 16), bx, barsBottom / 2 - side / 2, side, side);

  // Code row on a mid-grey frame so the first and last blocks have clear edges.
  const int pad = l.block / 4;
  Fill(target, Pixel(128, 128, 128), l.codeX - pad, l.codeY - pad, kCodeBits * l.block + 2 * pad,
       l.block + 2 * pad);
  const unsigned long black = Pixel(0, 0, 0);
  for (int i = 0; i < kCodeBits; ++i) {
    const bool one = (frame >> (kCodeBits - 1 - i)) & 1;
    Fill(target, one ? white : black, l.codeX + i * l.block, l.codeY, l.block, l.block);
  }

  const int digitsY = l.codeY + l.block + 2 * pad;
  const int digitHeight = std::max(16, l.height - digitsY - l.height / 30);
  PaintDigits(target, frame, l.codeX, digitsY, digitHeight);
}

}  // namespace halvex::demo
