#pragma once
// The Linux painter: Cairo onto an ARGB32 image surface (premultiplied, native-endian 32-bit
// pixels, i.e. B, G, R, A bytes on this machine), text laid out by Pango. A face that is not
// installed ("Segoe UI") falls back through fontconfig to the system's sans face.
#include <filesystem>
#include <vector>

#include "ui/canvas.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace halvex {

class CairoCanvas final : public Canvas {
 public:
  // A transparent surface of the given size.
  CairoCanvas(int width, int height);
  ~CairoCanvas() override;
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  void FillRect(const Rect& rect, Color color) override;
  void FillRoundedRect(const Rect& rect, int radius, Color color) override;
  void FillEllipse(const Rect& bounds, Color color) override;
  void DrawLine(Point from, Point to, int width, Color color) override;
  void DrawTextLine(std::string_view utf8, const Font& font, const Rect& box, TextAlign align,
                    Color color) override;
  bool DrawImage(std::span<const uint8_t> png, const Rect& dest) override;
  void PushClip(const Rect& rect) override;
  void PopClip() override;

  // The colour at a pixel as stored (premultiplied); transparent black outside.
  Color Pixel(int x, int y);
  // The surface, for a window to copy from (flushed).
  cairo_surface_t* Surface();
  // Writes the picture as a PNG file; false when it could not be written.
  bool WritePng(const std::filesystem::path& path);

 private:
  void Fill(Color color);

  int width_;
  int height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
  int clipDepth_ = 0;
};

}  // namespace halvex
