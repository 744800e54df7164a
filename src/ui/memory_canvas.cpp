#include "ui/memory_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halvex {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint8_t Premultiply(uint8_t channel, uint8_t alpha) {
  return static_cast<uint8_t>((channel * alpha + 127) / 255);
}

}  // namespace

MemoryCanvas::MemoryCanvas(int width, int height, Color background)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * height_ * 4) {
  const uint8_t px[4] = {Premultiply(background.b, background.a),
                         Premultiply(background.g, background.a),
                         Premultiply(background.r, background.a), background.a};
  for (size_t i = 0; i < pixels_.size(); i += 4) std::memcpy(&pixels_[i], px, 4);
}

Rect MemoryCanvas::Clip() const {
  Rect clip{0, 0, width_, height_};
  for (const Rect& r : clips_) clip = Intersection(clip, r);
  return clip;
}

void MemoryCanvas::Blend(int x, int y, Color color) {
  uint8_t* px = &pixels_[(static_cast<size_t>(y) * width_ + x) * 4];
  const int inverse = 255 - color.a;
  const uint8_t src[4] = {Premultiply(color.b, color.a), Premultiply(color.g, color.a),
                          Premultiply(color.r, color.a), color.a};
  for (int i = 0; i < 4; ++i) {
    px[i] = static_cast<uint8_t>(src[i] + (px[i] * inverse + 127) / 255);
  }
}

template <typename Inside>
void MemoryCanvas::Cover(const Rect& area, Color color, Inside inside) {
  if (color.a == 0) return;
  const Rect r = Intersection(area, Clip());
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (inside(x + 0.5, y + 0.5)) Blend(x, y, color);
    }
  }
}

void MemoryCanvas::FillRect(const Rect& rect, Color color) {
  Cover(rect, color, [](double, double) { return true; });
}

void MemoryCanvas::FillRoundedRect(const Rect& rect, int radius, Color color) {
  if (rect.Empty()) return;
  const double r = std::clamp(radius, 0, std::min(rect.Width(), rect.Height()) / 2);
  const double left = rect.left + r, right = rect.right - r;
  const double top = rect.top + r, bottom = rect.bottom - r;
  Cover(rect, color, [&](double x, double y) {
    // Outside the corner squares the rectangle is full; inside them, the quarter circle decides.
    const double cx = x < left ? left : (x > right ? right : x);
    const double cy = y < top ? top : (y > bottom ? bottom : y);
    const double dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= r * r;
  });
}

void MemoryCanvas::FillEllipse(const Rect& bounds, Color color) {
  if (bounds.Empty()) return;
  const double cx = (bounds.left + bounds.right) / 2.0, cy = (bounds.top + bounds.bottom) / 2.0;
  const double rx = bounds.Width() / 2.0, ry = bounds.Height() / 2.0;
  Cover(bounds, color, [&](double x, double y) {
    const double nx = (x - cx) / rx, ny = (y - cy) / ry;
    return nx * nx + ny * ny <= 1.0;
  });
}

void MemoryCanvas::DrawLine(Point from, Point to, int width, Color color) {
  if (width <= 0) return;
  const double half = width / 2.0;
  const double ax = from.x + 0.5, ay = from.y + 0.5, bx = to.x + 0.5, by = to.y + 0.5;
  const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
  const int reach = static_cast<int>(std::ceil(half));
  const Rect area{std::min(from.x, to.x) - reach, std::min(from.y, to.y) - reach,
                  std::max(from.x, to.x) + reach + 1, std::max(from.y, to.y) + reach + 1};
  Cover(area, color, [&](double x, double y) {
    double t = length2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = x - (ax + t * dx), ey = y - (ay + t * dy);
    return ex * ex + ey * ey <= half * half;
  });
}

void MemoryCanvas::DrawTextLine(std::string_view utf8, const Font& font, const Rect& box,
                                TextAlign align, Color color) {
  texts_.push_back(TextDraw{std::string(utf8), font, box, align, color, Clip()});
}

bool MemoryCanvas::DrawImage(std::span<const uint8_t> png, const Rect& dest) {
  // Signature, then the first chunk's length (4 bytes) and type, which must be IHDR.
  if (png.size() < 16 || std::memcmp(png.data(), kPngSignature, 8) != 0 ||
      std::memcmp(png.data() + 12, "IHDR", 4) != 0) {
    return false;
  }
  images_.push_back(ImageDraw{png.size(), dest, Clip()});
  return true;
}

void MemoryCanvas::PushClip(const Rect& rect) { clips_.push_back(rect); }

void MemoryCanvas::PopClip() {
  if (!clips_.empty()) clips_.pop_back();
}

Color MemoryCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return Color{0, 0, 0, 0};
  const uint8_t* px = &pixels_[(static_cast<size_t>(y) * width_ + x) * 4];
  return Color{px[2], px[1], px[0], px[3]};
}

}  // namespace halvex
