// Which pixels of a painted badge an X window shows, and how they are blended.
#include "ui/linux/badge_pixels.h"

#include <gtest/gtest.h>

#include <vector>

namespace halvex {
namespace {

constexpr Color kKey = Rgb(1, 2, 3);

// A premultiplied B, G, R, A picture, every pixel `fill`.
struct Picture {
  int width;
  int height;
  std::vector<uint8_t> bytes;
  Picture(int w, int h, Color fill) : width(w), height(h), bytes(static_cast<size_t>(w * h) * 4) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) Set(x, y, fill);
    }
  }
  void Set(int x, int y, Color c) {
    uint8_t* p = &bytes[static_cast<size_t>(y * width + x) * 4];
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
    p[3] = c.a;
  }
  BadgePixels Make(uint8_t alpha) const {
    return MakeBadgePixels(bytes.data(), width * 4, width, height, kKey, alpha);
  }
};

// Pixels covered by the shape, counted, and each checked to lie where the picture is not key.
int ShapeArea(const BadgePixels& p) {
  int area = 0;
  for (const Rect& r : p.shape) area += r.Width() * r.Height();
  return area;
}

TEST(BadgePixelsTest, ShapeHoldsExactlyThePaintedPixels) {
  struct Case {
    const char* name;
    std::vector<Rect> painted;  // filled with the badge colour over the key
    std::vector<Rect> shape;
  };
  const std::vector<Case> cases = {
      {"all key", {}, {}},
      {"one block", {{2, 1, 6, 4}}, {{2, 1, 6, 4}}},
      {"two spans on the same rows", {{0, 0, 2, 3}, {5, 0, 8, 3}}, {{0, 0, 2, 3}, {5, 0, 8, 3}}},
      // A step: the rows whose spans change start a new band.
      {"step", {{1, 0, 3, 2}, {1, 2, 7, 4}}, {{1, 0, 3, 2}, {1, 2, 7, 4}}},
      {"whole picture", {{0, 0, 8, 5}}, {{0, 0, 8, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture pic(8, 5, kKey);
    for (const Rect& r : c.painted) {
      for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) pic.Set(x, y, Rgb(25, 125, 235));
      }
    }
    const BadgePixels out = pic.Make(255);
    EXPECT_EQ(out.shape, c.shape);
  }
}

TEST(BadgePixelsTest, TransparentAndKeyPixelsAreLeftOutOthersKept) {
  struct Case {
    const char* name;
    Color pixel;
    bool kept;
  };
  const std::vector<Case> cases = {
      {"key", kKey, false},
      {"never painted", Color{0, 0, 0, 0}, false},
      {"near the key", Rgb(1, 2, 4), true},
      {"black", Rgb(0, 0, 0), true},
      // Text smoothed over the key is no longer the key colour.
      {"half covered", Color{1, 2, 3, 128}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture pic(3, 1, Rgb(25, 125, 235));
    pic.Set(1, 0, c.pixel);
    const BadgePixels out = pic.Make(255);
    EXPECT_EQ(ShapeArea(out), c.kept ? 3 : 2);
    EXPECT_EQ(out.argb[1] != 0, c.kept);
  }
}

TEST(BadgePixelsTest, OpacityScalesEveryChannelOfKeptPixels) {
  struct Case {
    uint8_t alpha;
    uint32_t expected;
  };
  // (25,125,235) opaque, then at 225/255 (premultiplied, rounded).
  const std::vector<Case> cases = {{255, 0xff197deb}, {225, 0xe1166ecf}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.alpha));
    Picture pic(2, 1, kKey);
    pic.Set(0, 0, Rgb(25, 125, 235));
    const BadgePixels out = pic.Make(c.alpha);
    EXPECT_EQ(out.argb[0], c.expected);
    EXPECT_EQ(out.argb[1], 0u) << "the key is fully transparent";
  }
}

}  // namespace
}  // namespace halvex
